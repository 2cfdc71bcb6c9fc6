// Carries only test_messages.rc.
