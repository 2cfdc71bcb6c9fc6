#include "stack_checked_call.h"

// Written out in assembly: a C++ call lets the compiler adjust the stack around it, which would
// hide what the callee did.
asm(R"(
    .text
    .globl _stackCheckedCall
    .def _stackCheckedCall; .scl 2; .type 32; .endef
_stackCheckedCall:
    pushl %ebp
    movl  %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    subl  $4, %esp
    movl  %esp, -16(%ebp)
    movl  12(%ebp), %esi
    movl  16(%ebp), %ecx
1:
    testl %ecx, %ecx
    jz    2f
    decl  %ecx
    pushl (%esi,%ecx,4)
    jmp   1b
2:
    movl  $0x5EB5EB5E, %ebx
    movl  $0x51515151, %esi
    movl  $0xD1D1D1D1, %edi
    call  *8(%ebp)
    movl  20(%ebp), %ecx
    movl  %esp, %edx
    subl  -16(%ebp), %edx
    movl  %edx, 0(%ecx)
    movl  %ebx, 4(%ecx)
    movl  %esi, 8(%ecx)
    movl  %edi, 12(%ecx)
    movl  -16(%ebp), %esp
    addl  $4, %esp
    popl  %edi
    popl  %esi
    popl  %ebx
    popl  %ebp
    ret
)");
