// Portable entry point: the presenters with real windows this build has.
//
// One list, in order of preference, as a toolkit keeps its video drivers: the
// entry point tries each until one opens. Which presenters are built is decided
// here only (presenter_list.cpp); --headless chooses the headless presenter
// instead of any of them.
#pragma once

#include <string>
#include <vector>

#include "../presenter_kit/presenter.h"
#include "options.h"

namespace portable {

struct WindowPresenter {
    const char* name;
    // Opens the presenter for this run, or answers nullptr with the reason (no
    // display, not in a page). argc and argv are the toolkit's to read.
    Presenter* (*open)(int& argc, char** argv, const EntryOptions& options, std::string& why);
    // Ends the program with the application's exit code when the presenter does
    // (a page shows it); nullptr: main returns it.
    void (*end)(int exit_code);
};

const std::vector<WindowPresenter>& window_presenters();

}  // namespace portable
