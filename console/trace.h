// The snap-in's trace file, "lookout.LOG" at the root of the Windows drive (for example
// C:\lookout.LOG). Every line is appended on its own: the file is opened without sharing,
// positioned at its end, written and closed again, so the trace survives a console that ends
// abruptly. A line that cannot be written (the file is held elsewhere) is dropped: tracing never
// changes what the snap-in does.
#pragma once

namespace lookout {

void trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The file's full path.
const char* traceFilePath();

}  // namespace lookout
