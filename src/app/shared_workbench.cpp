// SPDX-License-Identifier: GPL-3.0-or-later

#include "workbench/workbench.hpp"

#include "adapters/desktop/qt_services.hpp"

namespace tonfield {

// Built on first use, after the QApplication exists (the poll timer needs its
// event loop). Never destroyed: it lives until the process ends, and must not
// tear down its timer or player after the application object is gone.
Workbench& Workbench::shared()
{
    static auto* const services = new adapters::QtServices;
    static const auto* const instance =
        new std::shared_ptr<Workbench>(Workbench::create(services->services()));
    return **instance;
}

} // namespace tonfield
