#pragma once

#include "mainwindow/frmmain.h"

namespace tobra {

// Marks the window busy while a server operation runs (see isBusy()).
class frmMain::BusyScope {
public:
    explicit BusyScope(frmMain &w) : w_(w) { ++w_.busy_; }
    ~BusyScope()
    {
        if (--w_.busy_ == 0)
            w_.becameIdle();
    }
    BusyScope(const BusyScope &) = delete;
    BusyScope &operator=(const BusyScope &) = delete;

private:
    frmMain &w_;
};

}  // namespace tobra
