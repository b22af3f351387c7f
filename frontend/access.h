// Opt-in login enforcement ("web_require_session"): which requests need a
// live session, which need the admin level, and the logout that ends one.
#pragma once

// True when the request may go on to its handler. Otherwise the answer
// (401, 403, or the logout's "OK") has been printed.
bool access_check(const char* path, const char* query);
