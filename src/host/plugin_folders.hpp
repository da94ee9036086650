// The folders plug-ins are looked for in, and the trust a plug-in file must
// earn before it is loaded.
#pragma once

#include <string>
#include <vector>

namespace vorlex::host {

struct PluginFolder {
    std::string path;
    std::string origin;   // where the entry came from, for messages
    std::string skipped;  // why it is not searched; empty when it is
};

// In search order: the entries of VORLEX_PLUGIN_PATH (read with
// secure_getenv; empty and relative entries are listed but skipped), then
// the plug-in folder beside the loaded libvorlex, then the plug-in folder of
// the prefix the library's real file lies in (when symbolic links make the
// two differ). No path is compiled in, so neither the build tree nor the
// configured prefix is ever searched by an installed copy.
std::vector<PluginFolder> plugin_folders();

// The folders of plugin_folders() that are searched.
std::vector<std::string> searched_folders();

// "searched A, B; skipped C (relative path)", for messages.
std::string describe_search(const std::vector<PluginFolder>& folders);

// Empty when the plug-in file at path may be loaded, else why not: it must be
// a regular file that neither group nor others can write, in folders (up to
// the root) that neither group nor others can write, unless the folder is
// owned by root with the sticky bit set (as /tmp), and then what lies in it
// must belong to root or to us. Anyone else who could write there could
// replace the code we are about to run.
std::string plugin_file_refusal(const std::string& path);

}  // namespace vorlex::host
