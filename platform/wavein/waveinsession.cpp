#include "waveinsession.h"

#include <QCoreApplication>
#include <algorithm>
#include <cstring>

TWaveInMessageEvent::TWaveInMessageEvent(uint32_t msg, HWAVEIN device, WAVEHDR *header, uintptr_t instance)
    : QEvent(Type()), Msg(msg), Device(device), Header(header), Instance(instance)
{
}

QEvent::Type TWaveInMessageEvent::Type()
{
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

TWaveInSession::TWaveInSession(const WAVEFORMATEX &format, QObject *window, uintptr_t instance)
    : m_format(format), m_window(window), m_instance(instance),
      m_generation(std::make_shared<std::atomic<uint64_t>>(0))
{
}

TWaveInSession::~TWaveInSession() = default;

MMRESULT TWaveInSession::Prepare(WAVEHDR *header)
{
    if (!header || !header->lpData)
        return MMSYSERR_INVALPARAM;
    std::lock_guard guard(m_lock);
    header->dwFlags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT TWaveInSession::Unprepare(WAVEHDR *header)
{
    if (!header)
        return MMSYSERR_INVALPARAM;
    std::lock_guard guard(m_lock);
    if (header->dwFlags & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;
    header->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT TWaveInSession::Add(WAVEHDR *header)
{
    if (!header || !header->lpData)
        return MMSYSERR_INVALPARAM;
    {
        std::lock_guard guard(m_lock);
        if (!(header->dwFlags & WHDR_PREPARED))
            return WAVERR_UNPREPARED;
        if (header->dwFlags & WHDR_INQUEUE)
            return WAVERR_STILLPLAYING;
        header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
        header->dwBytesRecorded = 0;
        m_queue.push_back(header);
        ++m_serial;
    }
    m_changed.notify_all();
    BufferQueued();
    return MMSYSERR_NOERROR;
}

MMRESULT TWaveInSession::Start()
{
    {
        std::lock_guard guard(m_lock);
        if (m_started)
            return MMSYSERR_NOERROR;
        m_started = true;
        ++m_runs;
        ++m_serial;
    }
    m_changed.notify_all();
    CaptureStarted();
    return MMSYSERR_NOERROR;
}

MMRESULT TWaveInSession::Stop()
{
    {
        std::lock_guard guard(m_lock);
        if (!m_started)
            return MMSYSERR_NOERROR;
        m_started = false;
        ++m_serial;
        // A partly filled buffer is handed back with what it holds.
        if (!m_queue.empty() && m_queue.front()->dwBytesRecorded > 0) {
            WAVEHDR *header = m_queue.front();
            m_queue.pop_front();
            header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
            PostData(header);
        }
    }
    WakeDriver();
    CaptureStopped();
    return MMSYSERR_NOERROR;
}

MMRESULT TWaveInSession::Reset()
{
    {
        std::lock_guard guard(m_lock);
        m_started = false;
        for (WAVEHDR *header : m_queue)
            header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
        m_queue.clear();
        ++m_serial;
        // Buffers already posted but not yet delivered belong to the old run.
        ++*m_generation;
    }
    WakeDriver();
    CaptureStopped();
    return MMSYSERR_NOERROR;
}

MMRESULT TWaveInSession::Close()
{
    {
        std::lock_guard guard(m_lock);
        if (!m_queue.empty())
            return WAVERR_STILLPLAYING;
        m_started = false;
        m_ending = true;
        ++m_serial;
        ++*m_generation;
    }
    WakeDriver();
    Shutdown();
    return MMSYSERR_NOERROR;
}

void TWaveInSession::PostNotice(uint32_t msg)
{
    QObject *window = m_window.data();
    if (!window)
        return;
    HWAVEIN handle = Handle();
    uintptr_t instance = m_instance;
    QMetaObject::invokeMethod(
        window,
        [window, msg, handle, instance] {
            TWaveInMessageEvent event(msg, handle, nullptr, instance);
            QCoreApplication::sendEvent(window, &event);
        },
        Qt::QueuedConnection);
}

void TWaveInSession::PostData(WAVEHDR *header)
{
    QObject *window = m_window.data();
    if (!window)
        return;
    HWAVEIN handle = Handle();
    uintptr_t instance = m_instance;
    auto generation = m_generation;
    uint64_t posted = generation->load();
    QMetaObject::invokeMethod(
        window,
        [window, handle, header, instance, generation, posted] {
            if (generation->load() != posted)
                return;
            TWaveInMessageEvent event(MM_WIM_DATA, handle, header, instance);
            QCoreApplication::sendEvent(window, &event);
        },
        Qt::QueuedConnection);
}

size_t TWaveInSession::Deliver(const char *data, size_t size)
{
    std::lock_guard guard(m_lock);
    if (!m_started)
        return 0;
    size_t taken = 0;
    while (taken < size && !m_queue.empty()) {
        WAVEHDR *header = m_queue.front();
        size_t room = header->dwBufferLength - header->dwBytesRecorded;
        size_t part = std::min(room, size - taken);
        std::memcpy(header->lpData + header->dwBytesRecorded, data + taken, part);
        header->dwBytesRecorded += static_cast<uint32_t>(part);
        taken += part;
        if (header->dwBytesRecorded == header->dwBufferLength) {
            m_queue.pop_front();
            ++m_serial;
            header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
            PostData(header);
        }
    }
    return taken;
}

bool TWaveInSession::Running()
{
    std::lock_guard guard(m_lock);
    return m_started && !m_queue.empty();
}

size_t TWaveInSession::FrontRoom()
{
    std::lock_guard guard(m_lock);
    if (!m_started || m_queue.empty())
        return 0;
    return m_queue.front()->dwBufferLength - m_queue.front()->dwBytesRecorded;
}

bool TWaveInSession::WaitForWork()
{
    std::unique_lock lock(m_lock);
    m_changed.wait(lock, [this] { return m_ending || (m_started && !m_queue.empty()); });
    return !m_ending;
}

TWaveInSession::TState TWaveInSession::State()
{
    std::lock_guard guard(m_lock);
    return TState{m_started, !m_queue.empty(), m_ending, m_serial, m_runs};
}

void TWaveInSession::WaitForChange(uint64_t serial)
{
    std::unique_lock lock(m_lock);
    m_changed.wait(lock, [this, serial] { return m_ending || m_serial != serial; });
}

void TWaveInSession::EndWork()
{
    {
        std::lock_guard guard(m_lock);
        m_started = false;
        m_ending = true;
        ++m_serial;
    }
    WakeDriver();
}

void TWaveInSession::WakeDriver()
{
    m_changed.notify_all();
    Wake();
}
