// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "workbench/workbench.hpp"

#include <bitset>
#include <initializer_list>

namespace tonfield::ui {

// The Workbench fields assigned since the views last redrew, so a view whose
// fields did not change can skip its redraw (a running job changes a few
// fields every 0.4 s; most panels show none of them).
class FieldSet {
public:
    static FieldSet all()
    {
        FieldSet every;
        every.bits_.set();
        return every;
    }
    void add(Workbench::Field field) { bits_.set(static_cast<std::size_t>(field)); }
    void clear() { bits_.reset(); }
    bool any(std::initializer_list<Workbench::Field> fields) const
    {
        for (Workbench::Field field : fields)
            if (bits_.test(static_cast<std::size_t>(field)))
                return true;
        return false;
    }

private:
    std::bitset<Workbench::fieldCount> bits_;
};

} // namespace tonfield::ui
