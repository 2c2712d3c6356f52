#pragma once

#include "tray/tray_host.h"

// A notification area that comes and goes when the test says so.
class FakeTrayHost final : public TrayHostProbe {
    Q_OBJECT
public:
    explicit FakeTrayHost(bool present = false) : m_present(present) {}

    bool isPresent() const override { return m_present; }
    void setPresent(bool present) {
        m_present = present;
        emit presenceChanged();
    }

private:
    bool m_present;
};
