#pragma once

#include "devicelistfile.h"

// What the list's actions and the scan read and set in the window: the line
// settings as the boxes show them, the values the boxes offer, and the
// device settings chosen for the next device added.
class BenchForm
{
public:
    virtual ~BenchForm() = default;

    virtual LineChoices lineChoices() const = 0;
    virtual void setLineChoices(const LineChoices &line) = 0;
    virtual OfferedValues offeredValues() const = 0;
    // Unit, decimals and record period as chosen now; no address.
    virtual DeviceEntry deviceChoice() const = 0;
};
