#include "forms/skin_library.h"

#include "settings/regular_file.h"

SkinLibrary::SkinLibrary(QString activeSkinFile, std::unique_ptr<SkinEngine> engine)
    : m_activeSkinFile(std::move(activeSkinFile)), m_engine(std::move(engine)) {}

SkinLibrary::~SkinLibrary() = default;

void SkinLibrary::setEngine(std::unique_ptr<SkinEngine> engine) {
    m_engine = std::move(engine);
}

void SkinLibrary::SkinH_Attach() {
    // Without an active skin file the windows stay as the toolkit draws them. Anything else
    // of that name (a folder, a FIFO, a file that cannot be read) is the engine's to refuse:
    // it reads only regular files and tells the user why a skin is not used.
    if (m_engine && textfile::classify(m_activeSkinFile) != textfile::ReadStatus::Missing)
        m_engine->attach(m_activeSkinFile);
}

void SkinLibrary::SkinH_SetAero(int on) {
    if (m_engine)
        m_engine->setAero(on);
}
