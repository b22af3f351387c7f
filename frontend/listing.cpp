#include "frontend/listing.h"

#include <json-c/json.h>

#include "frontend/cgi_env.h"
#include "frontend/modules.h"

namespace {

// Every handler takes its text from a GET query or a POST body alike; only
// the upload resources need a multipart POST.
const char* method_of(const char* path)
{
    return cgiTakesUpload(path) ? "POST multipart" : "GET or POST";
}

}  // namespace

void print_resource_list(FILE* out, bool json)
{
    json_object* list = json ? json_object_new_array() : nullptr;
    for (const WebModulePart* const* p = web_module_parts(); *p; p++) {
        for (int i = 0; i < (*p)->resource_count; i++) {
            const WebResEntry& e = (*p)->resources[i];
            const char* help = e.help ? e.help : "";
            if (!json) {
                fprintf(out, "%s\t%s\t%s\t%s\n", e.path, (*p)->module, method_of(e.path), help);
                continue;
            }
            json_object* o = json_object_new_object();
            json_object_object_add(o, "path", json_object_new_string(e.path));
            json_object_object_add(o, "module", json_object_new_string((*p)->module));
            json_object_object_add(o, "method", json_object_new_string(method_of(e.path)));
            json_object_object_add(o, "help", json_object_new_string(help));
            json_object_array_add(list, o);
        }
    }
    if (json) {
        fprintf(out, "%s\n", json_object_to_json_string_ext(list, JSON_C_TO_STRING_PRETTY | JSON_C_TO_STRING_NOSLASHESCAPE));
        json_object_put(list);
    }
}
