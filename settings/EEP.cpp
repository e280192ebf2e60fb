#include "EEP.h"

#include <vector>

namespace ZORVI {
namespace EEPROM {

EEP::EEP(Control* control, bool bLoaded, uint32_t maxIdRun, uint32_t maxAddressRun,
         QObject* parent)
    : QObject(parent)
    , ParameterMemory(control, bLoaded, maxIdRun, maxAddressRun)
{
    m_writeTimer.setInterval(WRITE_DELAY_MS);
    m_writeTimer.setSingleShot(true);
    connect(&m_writeTimer, &QTimer::timeout, this, &EEP::onWriteTimeout);
}

EEP::~EEP() = default;

bool EEP::set(uint16_t id, int value)
{
    if (!ParameterMemory::set(id, value))
        return false;
    m_writeTimer.start();
    emit timerStarted();
    return true;
}

bool EEP::load(const QList<uint16_t>& ids)
{
    return ParameterMemory::load(std::vector<uint16_t>(ids.begin(), ids.end()));
}

QList<uint16_t> EEP::changedIds() const
{
    const std::vector<uint16_t> ids = ParameterMemory::changedIds();
    return QList<uint16_t>(ids.begin(), ids.end());
}

bool EEP::writeChanges()
{
    m_writeTimer.stop();
    return ParameterMemory::writeChanges();
}

SettingsApply::Result EEP::applyAtOnce(const Rules::Changes& changes)
{
    endWriteCycle();
    return SettingsApply::apply(*this, changes);
}

SettingsApply::Result EEP::collect(const DeviceInfo& info, SettingsFile* file)
{
    endWriteCycle();
    return SettingsApply::collect(*this, info, file);
}

void EEP::endWriteCycle()
{
    if (!m_writeTimer.isActive())
        return;
    m_writeTimer.stop();
    emit timerFinished();
}

void EEP::onWriteTimeout()
{
    if (!ParameterMemory::changedIds().empty())
        emit writeResult(ParameterMemory::writeChanges());
    emit timerFinished();
}

} // namespace EEPROM
} // namespace ZORVI
