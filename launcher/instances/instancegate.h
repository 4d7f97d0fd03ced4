#pragma once

#include "instances/instancelock.h"

#include <QString>
#include <functional>

namespace vadok {

// A start's view of the instance of its program folder: whether it is that instance, and
// handing its request to the one that runs.
class InstanceControl {
public:
    virtual ~InstanceControl() = default;
    // True when this process now is the instance (and stays it); false while another runs.
    virtual bool becomeFirst() = 0;
    enum class HandOver {
        Delivered,   // the running instance acts on the request; this start ends
        BecameFirst, // that instance ended without taking it: this process is the instance now
        Failed,      // told the user why ("MessagePass(W)エラー")
    };
    virtual HandOver handOver(const QString& request) = 0;
};

// The instance lock of the program folder and the hand-over socket of whoever holds it. The
// holder does not listen while it starts, while it runs one application by its title without
// a window, or once its exit has begun: a start then waits until it listens or ends, and in
// the second case becomes the instance itself, so no request is lost between the two.
class InstanceGate : public InstanceControl {
public:
    explicit InstanceGate(const QString& programFolder);
    bool becomeFirst() override;
    HandOver handOver(const QString& request) override;

    // What handOver does between two tries while it waits; by default lets events through
    // and sleeps a tenth of a second. Tests act in it, to make the other side's moment exact.
    void setPause(std::function<void()> pause) { m_pause = std::move(pause); }
    // How long handOver waits in all, in milliseconds, before it gives up.
    void setPatience(int milliseconds) { m_patienceMs = milliseconds; }

private:
    QString m_folder;
    InstanceLock m_lock;
    std::function<void()> m_pause;
    int m_patienceMs = 60000;
};

} // namespace vadok
