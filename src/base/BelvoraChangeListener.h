#pragma once

#include "base/ChangeInfo.h"

/** Receivers of the content component's broadcast: pages, status bar, a running firmware update. */
class BelvoraChangeListener
{
public:
    virtual ~BelvoraChangeListener() = default;
    virtual void changeNotify (const ChangeInfo& info) = 0;
};
