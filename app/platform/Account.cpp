#include "platform/Account.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace halvetrop {

namespace {

// An absolute folder without a trailing "/"; a relative or empty home names no folder.
std::string homeFolder(const char* text) {
    std::string home = text ? text : "";
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    return !home.empty() && home.front() == '/' ? home : std::string(1, '/');
}

bool isFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

Account currentAccount() {
    const long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? size_t(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    while (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
           buffer.size() < (size_t(1) << 20))
        buffer.resize(buffer.size() * 2);
    if (found) return {found->pw_name ? found->pw_name : "", homeFolder(found->pw_dir)};
    const char* user = std::getenv("USER");
    return {user ? user : "", homeFolder(std::getenv("HOME"))};
}

void settleHome() {
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return;
    ::setenv("HOME", currentAccount().home.c_str(), 1);
}

std::string desktopMountRoot(const std::string& root) {
    // The account's name: a launcher may leave USER unset.
    const std::string user = currentAccount().name;
    std::vector<std::string> candidates;
    if (!user.empty()) candidates = {root + "/run/media/" + user, root + "/media/" + user};
    candidates.push_back(root + "/media");
    for (const std::string& c : candidates)
        if (isFolder(c)) return c;
    return root.empty() ? "/" : root;
}

std::string homeForDialogs() {
    for (const std::string& folder :
         {homeFolder(std::getenv("HOME")), currentAccount().home, desktopMountRoot()})
        if (folder != "/" && isFolder(folder)) return folder;
    return "/tmp";
}

}  // namespace halvetrop
