#include "jobs/Preferences.h"

#include <memory>

#include <QSettings>
#include <QString>

namespace tq9 {

namespace {

QString key(const std::string& name)
{
    return QStringLiteral("Preference/") + QString::fromStdString(name);
}

// A fresh object per call: QSettings is not thread-safe, and its location follows the environment at
// construction (tests point XDG_CONFIG_HOME elsewhere).
std::unique_ptr<QSettings> settings()
{
    return std::make_unique<QSettings>(QStringLiteral("Zentri"), QStringLiteral("TQ-9 Image Converter"));
}

} // namespace

int CPreferences::Read(const std::string& name, int defaultValue)
{
    auto s = settings();
    bool ok = false;
    const int value = s->value(key(name), defaultValue).toInt(&ok);
    return ok ? value : defaultValue;
}

void CPreferences::Write(const std::string& name, int value)
{
    auto s = settings();
    s->setValue(key(name), value);
    s->sync();
}

ConversionSettings CPreferences::ReadImport()
{
    ConversionSettings p;
    p.NTSC = Read(kNTSC, 1);
    p.LetterBox = Read(kLetterBox, 0);
    p.TwoPass = Read(kTwoPass, 0);
    return p;
}

} // namespace tq9
