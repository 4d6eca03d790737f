// The service-control port over advapi32's service manager functions (OpenSCManagerW on the
// machine, then the service), with names converted losslessly at this boundary.
#pragma once

#include <memory>

#include "registry/service_control.h"

namespace keyloom::reg {

std::unique_ptr<ServiceControl> NewWin32ServiceControl();

}  // namespace keyloom::reg
