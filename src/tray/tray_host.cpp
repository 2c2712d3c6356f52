#include "tray/tray_host.h"

#include <algorithm>

AnyTrayHost::AnyTrayHost(std::vector<std::unique_ptr<TrayHostProbe>> probes, QObject* parent)
    : TrayHostProbe(parent), m_probes(std::move(probes)) {
    for (const auto& probe : m_probes)
        connect(probe.get(), &TrayHostProbe::presenceChanged, this, &AnyTrayHost::update);
    m_present = std::any_of(m_probes.begin(), m_probes.end(),
                            [](const auto& probe) { return probe->isPresent(); });
}

AnyTrayHost::~AnyTrayHost() = default;

void AnyTrayHost::update() {
    const bool present = std::any_of(m_probes.begin(), m_probes.end(),
                                     [](const auto& probe) { return probe->isPresent(); });
    if (present == m_present)
        return;
    m_present = present;
    emit presenceChanged();
}
