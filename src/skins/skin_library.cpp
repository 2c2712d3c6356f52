#include "skin_library.h"

#include <QFileInfo>

SkinLibrary::SkinLibrary(QString activeSkinFile, std::unique_ptr<SkinEngine> engine)
    : m_activeSkinFile(std::move(activeSkinFile)), m_engine(std::move(engine)) {}

SkinLibrary::~SkinLibrary() = default;

void SkinLibrary::setEngine(std::unique_ptr<SkinEngine> engine) {
    m_engine = std::move(engine);
}

void SkinLibrary::SkinH_Attach() {
    // Without an active skin file the windows stay as the toolkit draws them.
    const QFileInfo skin(m_activeSkinFile);
    if (m_engine && skin.isFile() && skin.isReadable())
        m_engine->attach(m_activeSkinFile);
}

void SkinLibrary::SkinH_SetAero(int on) {
    if (m_engine)
        m_engine->setAero(on);
}
