// platform/qt/SettingsStore.cpp: typed reads and synced writes on QSettings.
#include "platform/qt/SettingsStore.h"

#include <limits>
#include <memory>

#include <QSettings>

namespace {

std::string sTestPath;
std::unique_ptr<QSettings> sSettings;
int sWrites = 0;

QSettings& Store()
{
    if (!sSettings) {
        if (sTestPath.empty())
            sSettings = std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                                    QStringLiteral("Velmora"), QStringLiteral("Velmora"));
        else
            sSettings = std::make_unique<QSettings>(QString::fromStdString(sTestPath), QSettings::IniFormat);
    }
    return *sSettings;
}

bool Write(const std::string& key, const QVariant& value)
{
    QSettings& store = Store();
    ++sWrites;
    store.setValue(QString::fromStdString(key), value);
    store.sync();
    return store.status() == QSettings::NoError;
}

} // namespace

std::optional<int32_t> ReadIntSetting(const std::string& key)
{
    const QVariant value = Store().value(QString::fromStdString(key));
    if (!value.isValid())
        return std::nullopt;
    // An INI file gives every value back as text: decide by conversion.
    bool ok = false;
    const qlonglong number = value.toString().trimmed().toLongLong(&ok);
    if (!ok || number < std::numeric_limits<int32_t>::min() || number > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    return static_cast<int32_t>(number);
}

std::optional<bool> ReadBoolSetting(const std::string& key)
{
    const QVariant value = Store().value(QString::fromStdString(key));
    if (!value.isValid())
        return std::nullopt;
    const QString text = value.toString().trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("1"))
        return true;
    if (text == QLatin1String("false") || text == QLatin1String("0"))
        return false;
    return std::nullopt;
}

bool WriteIntSetting(const std::string& key, int32_t value)
{
    return Write(key, QVariant(int(value)));
}

bool WriteBoolSetting(const std::string& key, bool value)
{
    return Write(key, QVariant(value));
}

void SetSettingsFileForTesting(const std::string& path)
{
    sTestPath = path;
    sSettings.reset();
}

int SettingsWriteCountForTesting()
{
    return sWrites;
}
