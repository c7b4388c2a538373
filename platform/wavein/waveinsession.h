#pragma once
#include "wavein.h"

#include <QPointer>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

// One open capture device: the queue of caller buffers and the hand-off of filled
// buffers to the callback window. A driver derives from it and feeds captured bytes
// through Deliver, from its own thread or from the main thread.
//
// The queue is the only state shared with a driver's thread; it is guarded by one
// mutex, so once Reset has taken the buffers back no thread touches them again.
class TWaveInSession {
public:
    TWaveInSession(const WAVEFORMATEX &format, QObject *window, uintptr_t instance);
    virtual ~TWaveInSession();
    TWaveInSession(const TWaveInSession &) = delete;
    TWaveInSession &operator=(const TWaveInSession &) = delete;

    HWAVEIN Handle() { return reinterpret_cast<HWAVEIN>(this); }
    const WAVEFORMATEX &Format() const { return m_format; }

    MMRESULT Prepare(WAVEHDR *header);
    MMRESULT Unprepare(WAVEHDR *header);
    MMRESULT Add(WAVEHDR *header);
    MMRESULT Start();
    MMRESULT Stop();
    MMRESULT Reset();
    // Refused while buffers are queued; otherwise ends the driver's capture.
    MMRESULT Close();

    // Posts MM_WIM_OPEN / MM_WIM_CLOSE to the window.
    void PostNotice(uint32_t msg);

protected:
    // Copies captured bytes into the queued buffers, handing each full one to the
    // window. Bytes for which no buffer is queued are lost, as with a real device
    // that has run out of buffers. Returns the number of bytes taken.
    size_t Deliver(const char *data, size_t size);
    bool Running();
    // What a driver thread acts on; Serial changes with every change of it, Runs with
    // every start.
    struct TState {
        bool Started, Queued, Ending;
        uint64_t Serial, Runs;
    };
    TState State();
    // Waits until the state differs from the one with that serial.
    void WaitForChange(uint64_t serial);
    // Bytes still missing in the buffer that is being filled; 0 when none is queued.
    size_t FrontRoom();
    // Waits until capture runs with a buffer queued, or the session ends; false on end.
    bool WaitForWork();
    // Ends the session for a driver thread: WaitForWork returns false from now on.
    void EndWork();
    // Wakes a driver thread blocked in WaitForWork or in its own wait.
    void WakeDriver();

    // Driver hooks, called on the main thread without the lock held.
    virtual void CaptureStarted() {}
    virtual void CaptureStopped() {}
    virtual void BufferQueued() {}
    virtual void Shutdown() {}
    virtual void Wake() {}

private:
    void PostData(WAVEHDR *header);

    WAVEFORMATEX m_format;
    QPointer<QObject> m_window;
    uintptr_t m_instance;
    std::shared_ptr<std::atomic<uint64_t>> m_generation;

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<WAVEHDR *> m_queue;
    bool m_started = false;
    bool m_ending = false;
    uint64_t m_serial = 0;
    uint64_t m_runs = 0;
};
