// ThreadSanitizer suppressions of the serial tests, read by ThreadSanitizer at start-up (the
// function is ignored in other builds). A message posted by the watcher thread reaches the
// window's thread through Qt's event queue, whose lock Qt takes with futexes that
// ThreadSanitizer cannot see (Qt is not instrumented): the hand-over is ordered, yet looks
// unordered. Only reports in which one side builds the posted message are suppressed.
extern "C" const char* __tsan_default_suppressions()
{
    return "race:PostWindowMessage\n";
}
