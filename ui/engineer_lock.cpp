#include "ui/engineer_lock.h"

#include "station/engineer_pin.h"

bool CEngineerLock::Unlock(const std::string& strPin) const
{
    return Open() || PinMatches(m_strPinHash, strPin);
}
