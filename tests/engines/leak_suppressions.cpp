// LeakSanitizer reads this at start-up in the sanitizer build. Firebird's
// embedded engine keeps process-wide caches (character set converters of
// iconv and ICU) that live until the process ends; those blocks are the
// engine's, not ours. A leak of the tests' own code still shows: its stack
// does not pass through these libraries.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfbclient.so\n"
           "leak:libEngine12.so\n"
           "leak:libicuuc.so\n"
           "leak:libicui18n.so\n"
           "leak:__gconv_open\n"
           "leak:__gconv_lookup_cache\n";
}
