#pragma once

#include <QString>

#include <memory>

// Draws the program's windows in a skin. The engine behind it is replaceable; with no engine,
// or nothing of the active skin file's name, the calls change nothing.
class SkinEngine {
public:
    virtual ~SkinEngine() = default;
    // Applies the skin file to every window of the process, later ones included.
    virtual void attach(const QString& skinFile) = 0;
    virtual void setAero(int on) = 0;
};

// The program's binding to the skin engine: the two calls the countdown window makes at every
// load, in this order: SkinH_Attach(), SkinH_SetAero(1), and SkinH_SetAero(0) where the
// system is Vista or later.
class SkinLibrary {
public:
    // activeSkinFile: "skinh.she" in the data folder.
    explicit SkinLibrary(QString activeSkinFile, std::unique_ptr<SkinEngine> engine = {});
    virtual ~SkinLibrary();

    virtual void SkinH_Attach();
    virtual void SkinH_SetAero(int on);

    const QString& activeSkinFile() const { return m_activeSkinFile; }
    void setEngine(std::unique_ptr<SkinEngine> engine);

private:
    QString m_activeSkinFile;
    std::unique_ptr<SkinEngine> m_engine;
};
