// Simulated system requests: the user-table change notice and the check of
// e-mail login tokens.
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/devpath.h"
#include "coresim/coresim.h"
#include "modules/system/system_user.h"

namespace {

// The tokens this device issued, one a line; a test or the person running
// the local device writes them.
const char* const kMailTokens = "/var/run/coresim-mail-tokens";

bool token_issued(const std::string& token)
{
    if (token.empty())
        return false;
    FILE* f = fopen(device_path(kMailTokens).c_str(), "r");
    if (!f)
        return false;
    bool found = false;
    char line[MAIL_TOKEN_SIZE + 2];
    while (!found && fgets(line, sizeof line, f)) {
        size_t n = strcspn(line, "\r\n");
        bool whole = line[n] != '\0' || feof(f);
        // A line longer than a token is no token: skip the rest of it.
        if (!whole) {
            int c;
            while ((c = fgetc(f)) != EOF && c != '\n') {
            }
            continue;
        }
        found = token.size() == n && token.compare(0, n, line, n) == 0;
    }
    fclose(f);
    return found;
}

void on_user_table_changed(const SimRequest& request, SimReply&)
{
    if (request.length >= 4)
        sim_log("user table changed (user %d)", request.word());
    else
        sim_log("user table changed");
}

void on_login_from_mail(const SimRequest& request, SimReply& reply)
{
    char token[MAIL_TOKEN_SIZE];
    if (!request.as(&token))
        return;
    std::string text(token, strnlen(token, sizeof token));
    bool valid = token_issued(text);
    sim_log("e-mail login token %s", valid ? "accepted" : "refused");
    reply.send_word(valid ? 0 : 1);
}

const SimEntry kSystem[] = {
    {REQ_USER_TABLE_CHANGED, on_user_table_changed, "the user table changed: log it"},
    {REQ_LOGIN_FROM_MAIL, on_login_from_mail, "check an e-mail login token"},
};

}  // namespace

const SimEntry* sim_system_table(int* count)
{
    *count = (int)(sizeof kSystem / sizeof kSystem[0]);
    return kSystem;
}
