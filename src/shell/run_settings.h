// The stored settings as the engine and the registry actions read them at the moment they need
// them.
#pragma once

#include "engine/globals.h"
#include "engine/search_session.h"
#include "files/change_settings.h"
#include "shell/settings.h"

namespace keyloom::shell {

engine::RunSettings ToRunSettings(const Settings& settings);

// What one registry change is made with: the undo options, SIMULATE, the machine and the view.
files::ChangeSettings ToChangeSettings(const Settings& settings, const engine::Globals& globals);

}  // namespace keyloom::shell
