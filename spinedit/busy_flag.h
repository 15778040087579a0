#pragma once

// Internal to the spin editor's widgets.

#include <QObject>
#include <QPointer>

namespace spinedit {

// Sets a re-entry flag for its lifetime, also when an exception leaves the
// scope. A handler may delete the flag's owner, so the flag is cleared only
// while the owner lives.
class BusyFlag {
public:
    BusyFlag(QObject* owner, bool& flag) : m_owner(owner), m_flag(flag) { m_flag = true; }
    ~BusyFlag()
    {
        if (m_owner)
            m_flag = false;
    }
    BusyFlag(const BusyFlag&) = delete;
    BusyFlag& operator=(const BusyFlag&) = delete;

private:
    QPointer<QObject> m_owner;
    bool& m_flag;
};

} // namespace spinedit
