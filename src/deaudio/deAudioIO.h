#pragma once
#include "deACM.h"

#include <QList>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

struct WAVEHDR;
struct HWAVEIN__;
class TWaveInMessageEvent;

using TNotifyEvent = std::function<void(QObject *Sender)>;

// Base of the wave device components: open/close, the capture format, the number
// of buffers, and a pool of memory blocks that are reused while the device is open.
class TdeAudioIO : public TdeAudioComponent {
public:
    explicit TdeAudioIO(QObject *parent = nullptr);
    ~TdeAudioIO() override;

    bool Active() const { return m_active; }
    void SetActive(bool active);
    void Open();
    void Close();

    TdeWaveFormat &Format() { return m_format; }
    const TdeWaveFormat &Format() const { return m_format; }
    // Copies the image; while active it takes effect at the next opening.
    void SetFormat(const TdeWaveFormat &format) { m_format.Assign(format); }
    uint8_t BufferCount() const { return m_bufferCount; }
    virtual void SetBufferCount(uint8_t count);

    TNotifyEvent BeforeOpen;
    TNotifyEvent AfterOpen;
    TNotifyEvent BeforeClose;
    TNotifyEvent AfterClose;

    // The buffer pool. A block of exactly the requested size is taken at once;
    // otherwise the free block with the smallest excess below the request itself;
    // otherwise a new block. Blocks are freed only all together.
    void *GetBuffer(uint32_t size);
    void ReleaseBuffer(void *buffer);
    void FreeAllBuffers();
    // Usable sizes of the free blocks, in free-list order.
    QList<uint32_t> FreeBlockSizes() const;
    int BlockCount() const { return int(m_blocks.size()); }

    // The hidden window that receives the device's messages.
    QObject *Window() const;

protected:
    virtual void DoClose() {}
    virtual void DoOpen() {}
    virtual void WndProc(TWaveInMessageEvent &) {}

private:
    class TMessageWindow;
    static uint32_t BlockSize(void *block);

    bool m_active = false;
    TdeWaveFormat m_format;
    uint8_t m_bufferCount = 4;
    std::unique_ptr<TMessageWindow> m_window;
    QList<void *> m_freeList;
    QList<void *> m_blocks;
};

// Adds the source role: every attached observer receives each recorded buffer.
class TdeAbstractAudioIn : public TdeAudioIO {
public:
    explicit TdeAbstractAudioIn(QObject *parent = nullptr);
    ~TdeAbstractAudioIn() override;

    bool AutoAdjustBufferSize() const { return m_autoAdjustBufferSize; }
    void SetAutoAdjustBufferSize(bool v) { m_autoAdjustBufferSize = v; }
    TObserverErrorEvent OnObserverError;

    IdeAudioSubject *QueryAudioSubject() override { return &m_subject; }
    IdeAudioSubject *AudioSubject() { return &m_subject; }

protected:
    virtual void ObserverError(IdeAudioSubject *sender, IdeAudioObserver *observer, const Exception &e,
                               bool &raiseException);
    TdeAudioSubject &Subject() { return m_subject; }

private:
    TdeAudioSubject m_subject;
    bool m_autoAdjustBufferSize = true;
};

// The wave-in device: a ring of recording buffers handed to the driver and the
// delivery of each filled buffer to the observers on the main thread.
class TdeCustomAudioIn : public TdeAbstractAudioIn {
public:
    explicit TdeCustomAudioIn(QObject *parent = nullptr);
    ~TdeCustomAudioIn() override;

    void SetBufferCount(uint8_t count) override;
    uint32_t BufferSize() const { return m_bufferSize; }
    // Only while inactive.
    void SetBufferSize(uint32_t size);
    int8_t DeviceID() const { return m_deviceID; }
    // Only while inactive; -1 is the wave mapper.
    void SetDeviceID(int8_t id);
    TBufferEvent OnAudioRecorded;

    // The buffers the device owns now.
    int HeaderCount() const { return int(m_headers.size()); }

protected:
    void DoOpen() override;
    void DoClose() override;
    void WndProc(TWaveInMessageEvent &message) override;
    virtual void DataRecorded(const void *data, int size);

    void BufferDone(WAVEHDR *header);

private:
    void ReleaseHeader(WAVEHDR *header);
    void AbandonDevice();

    uint32_t m_bufferSize = 22050;
    int8_t m_deviceID = -1;
    HWAVEIN__ *m_handle = nullptr;
    QList<WAVEHDR *> m_headers;
};

class TdeAudioIn : public TdeCustomAudioIn {
public:
    explicit TdeAudioIn(QObject *parent = nullptr) : TdeCustomAudioIn(parent) {}
    // Opening once a stored form is loaded; components created in code ignore it.
    bool AutoOpen() const { return m_autoOpen; }
    void SetAutoOpen(bool v) { m_autoOpen = v; }

private:
    bool m_autoOpen = true;
};

// ---------------------------------------------------------------------------------------------
// The installed wave-in devices.

class TdeAudioDevice {
public:
    virtual ~TdeAudioDevice() = default;
    int8_t DeviceID = 0;
    uint8_t DriverMajor = 0;
    uint8_t DriverMinor = 0;
    uint16_t ManufacturerID = 0;
    uint16_t ProductID = 0;
    uint16_t Channels = 0;
    QString Name;
};

class TdeAudioInDevice : public TdeAudioDevice {
public:
    // Fills the fields from the device's capabilities.
    explicit TdeAudioInDevice(int8_t deviceId);
};

// The program-wide list, built on first use, in device-number order.
int InputDeviceCount();
TdeAudioInDevice *InputDevice(int index);
void RefreshDevices();
