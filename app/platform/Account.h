#pragma once
// Who runs the application, as the account database knows the effective user: a launcher may start
// it without USER (or HOME) in its environment, and the folders it offers are the account's own.
#include <string>

namespace halvetrop {

struct Account {
    std::string name;  // the login name; empty when unknown
    std::string home;  // the home folder; "/" when unknown
};

// The effective user's entry in the account database; USER and HOME only stand in when it has none
// (a container that runs an id without an entry).
Account currentAccount();

// Gives the process the account's home as HOME when a launcher left it unset or relative: the
// settings, the history and every standard folder are found from HOME, which would otherwise be
// "/", where an ordinary user can save nothing. Called once at start, before any thread.
void settleHome();

// The first of /run/media/NAME, /media/NAME (NAME: the account's) and /media that exists, below
// `root` ("" = the machine's); `root` itself ("/" for the machine) when none does.
std::string desktopMountRoot(const std::string& root = "");

// Where a dialog opens when it is given no folder that is still there: HOME when it is set and is a
// folder, else the account's home when that is one (an account's database entry may name a home
// that was never made), else the removable-media folder. Never "/", where a user can save nothing:
// the temporary folder when none of them is there.
std::string homeForDialogs();

}  // namespace halvetrop
