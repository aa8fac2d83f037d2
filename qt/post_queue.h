#pragma once
#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <deque>
#include <functional>
#include <mutex>

// Hands work from any thread to a window's own thread, in order. Work posted on that thread is
// drained at once (after what is still queued); from another thread it is queued, and one posted
// drain takes everything that came meanwhile. A drain posted after the window is gone is dropped
// with it.
template <typename Op>
class CPostQueue {
public:
    using DrainFn = std::function<void(std::deque<Op>& ops)>;
    CPostQueue(QObject& owner, DrainFn fnDrain) : m_Owner(owner), m_fnDrain(std::move(fnDrain)) {}

    void Post(Op op)
    {
        const bool bHere = QThread::currentThread() == m_Owner.thread();
        bool bSchedule = false;
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_Pending.push_back(std::move(op));
            if (!bHere && !m_bDrainPosted)
                m_bDrainPosted = bSchedule = true;
        }
        if (bHere)
            Drain();
        else if (bSchedule)
            QMetaObject::invokeMethod(&m_Owner, [this] { Drain(); }, Qt::QueuedConnection);
    }

    void Drain()
    {
        std::deque<Op> ops;
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            ops.swap(m_Pending);
            m_bDrainPosted = false;
        }
        m_fnDrain(ops);
    }

private:
    QObject& m_Owner;
    DrainFn m_fnDrain;
    std::mutex m_Mutex;
    std::deque<Op> m_Pending;
    bool m_bDrainPosted = false;
};
