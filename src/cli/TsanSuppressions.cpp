// ThreadSanitizer suppressions of kestova-flash, built in only with ThreadSanitizer. A message
// posted by a port's watcher thread reaches the engine through Qt's event queue, whose lock Qt
// takes with futexes that ThreadSanitizer cannot see (Qt is not instrumented): the hand-over is
// ordered, yet looks unordered. Reports in which one side builds the posted message (or the
// completion a synchronous message carries), the engine's thread destroys it, or Qt's own code
// moves its queue's memory, are suppressed; everything else is still reported.
extern "C" const char* __tsan_default_suppressions()
{
    return "race:PostWindowMessage\n"
           "race:SendWindowMessageSync\n"
           "race:CWindowMessageEvent::~CWindowMessageEvent\n"
           "called_from_lib:libQt6Core.so.6\n";
}
