// ThreadSanitizer suppressions of the link tests, read by ThreadSanitizer at start-up (the
// function is ignored in other builds). A message posted by a watcher or reader thread reaches
// the window's thread through Qt's event queue, whose lock Qt takes with futexes that
// ThreadSanitizer cannot see (Qt is not instrumented): the hand-over is ordered, yet looks
// unordered. Only reports in which one side builds the posted message (and the completion a
// synchronous message carries), or the window's thread destroys it, are suppressed.
extern "C" const char* __tsan_default_suppressions()
{
    return "race:PostWindowMessage\n"
           "race:SendWindowMessageSync\n"
           "race:CWindowMessageEvent::~CWindowMessageEvent\n";
}
