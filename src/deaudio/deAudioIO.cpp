#include "deAudioIO.h"

#include "codepage1250.h"
#include "wavein.h"

#include <QEvent>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Each block starts with its usable size; the data follows at an offset that keeps
// the data aligned for any structure placed in it.
constexpr size_t kBlockPrefix = alignof(std::max_align_t);

const QString kOpenPrefix = QStringLiteral("Error opening audio device for input.");
const QString kPreparePrefix = QStringLiteral("Error preparing input header.");
const QString kAddPrefix = QStringLiteral("Error adding input buffer.");
const QString kUnpreparePrefix = QStringLiteral("Error unpreparing input header.");
const QString kClosePrefix = QStringLiteral("Error closing input device.");

void *DataOf(void *block) { return static_cast<char *>(block) + kBlockPrefix; }
void *BlockOf(void *data) { return static_cast<char *>(data) - kBlockPrefix; }

} // namespace

// The hidden window: device messages arrive here through the event loop.
class TdeAudioIO::TMessageWindow : public QObject {
public:
    explicit TMessageWindow(TdeAudioIO *owner) : m_owner(owner) {}
    bool event(QEvent *e) override
    {
        if (e->type() == TWaveInMessageEvent::Type()) {
            m_owner->WndProc(*static_cast<TWaveInMessageEvent *>(e));
            return true;
        }
        return QObject::event(e);
    }

private:
    TdeAudioIO *m_owner;
};

// ---- TdeAudioIO -------------------------------------------------------------------------------

TdeAudioIO::TdeAudioIO(QObject *parent) : TdeAudioComponent(parent), m_window(std::make_unique<TMessageWindow>(this))
{
}

TdeAudioIO::~TdeAudioIO()
{
    m_window.reset();
    FreeAllBuffers();
}

QObject *TdeAudioIO::Window() const { return m_window.get(); }

void TdeAudioIO::SetActive(bool active)
{
    if (active)
        Open();
    else
        Close();
}

void TdeAudioIO::Open()
{
    if (m_active)
        return;
    FreeAllBuffers();
    if (BeforeOpen)
        BeforeOpen(this);
    DoOpen();
    m_active = true;
    if (AfterOpen)
        AfterOpen(this);
}

void TdeAudioIO::Close()
{
    if (!m_active)
        return;
    if (BeforeClose)
        BeforeClose(this);
    DoClose();
    FreeAllBuffers();
    m_active = false;
    if (AfterClose)
        AfterClose(this);
}

void TdeAudioIO::SetBufferCount(uint8_t count) { m_bufferCount = count; }

uint32_t TdeAudioIO::BlockSize(void *block)
{
    uint32_t size;
    std::memcpy(&size, block, sizeof size);
    return size;
}

void *TdeAudioIO::GetBuffer(uint32_t size)
{
    int best = -1;
    uint32_t bestExcess = 0;
    for (int i = 0; i < m_freeList.size(); ++i) {
        uint32_t available = BlockSize(m_freeList[i]);
        if (available == size) {
            best = i;
            break;
        }
        if (available > size) {
            uint32_t excess = available - size;
            if (excess < size && (best < 0 || excess < bestExcess)) {
                best = i;
                bestExcess = excess;
            }
        }
    }
    if (best >= 0)
        return DataOf(m_freeList.takeAt(best));
    void *block = std::malloc(kBlockPrefix + size_t(size));
    if (!block)
        throw EACMAudioOutError(QStringLiteral("Cannot allocate global memory."));
    std::memcpy(block, &size, sizeof size);
    m_blocks.append(block);
    return DataOf(block);
}

void TdeAudioIO::ReleaseBuffer(void *buffer)
{
    if (buffer)
        m_freeList.append(BlockOf(buffer));
}

void TdeAudioIO::FreeAllBuffers()
{
    m_freeList.clear();
    for (void *block : m_blocks)
        std::free(block);
    m_blocks.clear();
}

QList<uint32_t> TdeAudioIO::FreeBlockSizes() const
{
    QList<uint32_t> sizes;
    for (void *block : m_freeList)
        sizes.append(BlockSize(block));
    return sizes;
}

// ---- TdeAbstractAudioIn -------------------------------------------------------------------------

TdeAbstractAudioIn::TdeAbstractAudioIn(QObject *parent) : TdeAudioIO(parent), m_subject(this, &Format())
{
    m_subject.OnObserverError = [this](IdeAudioSubject *sender, IdeAudioObserver *observer, const Exception &e,
                                       bool &raise) { ObserverError(sender, observer, e, raise); };
}

TdeAbstractAudioIn::~TdeAbstractAudioIn() = default;

void TdeAbstractAudioIn::ObserverError(IdeAudioSubject *sender, IdeAudioObserver *observer, const Exception &e,
                                       bool &raiseException)
{
    if (OnObserverError)
        OnObserverError(sender, observer, e, raiseException);
}

// ---- TdeCustomAudioIn ---------------------------------------------------------------------------

TdeCustomAudioIn::TdeCustomAudioIn(QObject *parent) : TdeAbstractAudioIn(parent) {}

TdeCustomAudioIn::~TdeCustomAudioIn()
{
    try {
        Close();
    } catch (...) {
        AbandonDevice();
    }
}

void TdeCustomAudioIn::SetBufferCount(uint8_t count)
{
    if (count < 2)
        throw EACMAudioIOError(QStringLiteral("Invalid input buffer size."));
    TdeAbstractAudioIn::SetBufferCount(count);
}

void TdeCustomAudioIn::SetBufferSize(uint32_t size)
{
    if (Active())
        throw EACMAudioIOError(QStringLiteral("Cannot perform this action while active."));
    m_bufferSize = size;
}

void TdeCustomAudioIn::SetDeviceID(int8_t id)
{
    if (Active())
        throw EACMAudioIOError(QStringLiteral("Cannot perform this action while active."));
    m_deviceID = id;
}

void TdeCustomAudioIn::DoOpen()
{
    const TdeWaveFormat &format = Format();
    if (format.BitsPerSample() != 0) {
        if (AutoAdjustBufferSize()) {
            uint32_t frame = uint32_t(format.BitsPerSample() / 8) * format.Channels();
            if (frame > 1 && m_bufferSize % frame != 0)
                m_bufferSize -= m_bufferSize % frame;
        }
        if ((uint64_t(m_bufferSize) * 8) % format.BitsPerSample() != 0)
            throw EACMAudioInError(QStringLiteral("Invalid input buffer size."));
    }

    uint32_t deviceId = m_deviceID < 0 ? WAVE_MAPPER : uint32_t(m_deviceID);
    uint32_t flags = CALLBACK_WINDOW;
    if (m_deviceID == -1 && format.FormatTag() != WAVE_FORMAT_PCM) {
        // The mapper converts for device 0.
        deviceId = 0;
        flags |= WAVE_MAPPED;
    }
    HWAVEIN handle = nullptr;
    CheckMMResult<EACMAudioInError>(waveInOpen(&handle, deviceId, format.Data(), Window(), 0, flags), kOpenPrefix);
    m_handle = handle;
    try {
        for (int i = 0; i < BufferCount(); ++i) {
            auto *header = static_cast<WAVEHDR *>(GetBuffer(sizeof(WAVEHDR)));
            std::memset(header, 0, sizeof(WAVEHDR));
            m_headers.append(header);
            header->lpData = static_cast<char *>(GetBuffer(m_bufferSize));
            header->dwBufferLength = m_bufferSize;
            CheckMMResult<EACMAudioInError>(waveInPrepareHeader(m_handle, header, sizeof(WAVEHDR)), kPreparePrefix);
            CheckMMResult<EACMAudioInError>(waveInAddBuffer(m_handle, header, sizeof(WAVEHDR)), kAddPrefix);
        }
        CheckMMResult<EACMAudioInError>(waveInStart(m_handle), kOpenPrefix);
    } catch (...) {
        // The component stays inactive: it must not keep the device open behind it.
        AbandonDevice();
        throw;
    }
}

void TdeCustomAudioIn::AbandonDevice()
{
    if (m_handle) {
        waveInReset(m_handle);
        for (WAVEHDR *header : m_headers)
            waveInUnprepareHeader(m_handle, header, sizeof(WAVEHDR));
        waveInClose(m_handle);
        m_handle = nullptr;
    }
    m_headers.clear();
    FreeAllBuffers();
}

void TdeCustomAudioIn::DoClose()
{
    CheckMMResult<EACMAudioInError>(waveInReset(m_handle), kClosePrefix);
    while (!m_headers.isEmpty())
        ReleaseHeader(m_headers.last());
    CheckMMResult<EACMAudioInError>(waveInClose(m_handle), kClosePrefix);
    m_handle = nullptr;
}

void TdeCustomAudioIn::WndProc(TWaveInMessageEvent &message)
{
    if (message.Msg != MM_WIM_DATA)
        return;
    try {
        BufferDone(message.Header);
    } catch (...) {
        // A failure inside the processing of one buffer costs that buffer only.
    }
}

void TdeCustomAudioIn::BufferDone(WAVEHDR *header)
{
    if (!m_headers.contains(header))
        return;
    if (Active()) {
        DataRecorded(header->lpData, int(header->dwBytesRecorded));
        if (Active())
            CheckMMResult<EACMAudioInError>(waveInAddBuffer(m_handle, header, sizeof(WAVEHDR)), kAddPrefix);
    } else {
        ReleaseHeader(header);
    }
}

void TdeCustomAudioIn::DataRecorded(const void *data, int size)
{
    Subject().Notify(AudioSubject(), data, size);
    // An observer may have closed the device, which frees the buffer.
    if (OnAudioRecorded && Active())
        OnAudioRecorded(this, data, size);
}

void TdeCustomAudioIn::ReleaseHeader(WAVEHDR *header)
{
    int index = m_headers.indexOf(header);
    if (index < 0)
        return;
    CheckMMResult<EACMAudioInError>(waveInUnprepareHeader(m_handle, header, sizeof(WAVEHDR)), kUnpreparePrefix);
    ReleaseBuffer(header->lpData);
    ReleaseBuffer(header);
    m_headers.removeAt(index);
}

// ---- Device list --------------------------------------------------------------------------------

TdeAudioInDevice::TdeAudioInDevice(int8_t deviceId)
{
    DeviceID = deviceId;
    WAVEINCAPS caps;
    std::memset(&caps, 0, sizeof caps);
    if (waveInGetDevCaps(uint32_t(uint8_t(deviceId)), &caps, sizeof caps) != MMSYSERR_NOERROR)
        return;
    ManufacturerID = caps.wMid;
    ProductID = caps.wPid;
    DriverMajor = uint8_t(caps.vDriverVersion >> 8);
    DriverMinor = uint8_t(caps.vDriverVersion & 0xFF);
    Channels = caps.wChannels;
    Name = DecodeCp1250(QByteArray(caps.szPname, int(strnlen(caps.szPname, 31))));
}

namespace {

struct TDeviceList {
    bool Built = false;
    std::vector<std::unique_ptr<TdeAudioInDevice>> Devices;
};

TDeviceList &Devices()
{
    static TDeviceList list;
    return list;
}

void BuildDevices()
{
    TDeviceList &list = Devices();
    list.Devices.clear();
    uint32_t count = waveInGetNumDevs();
    // Device numbers are signed 8-bit values; the range ends at 32.
    for (uint32_t i = 0; i < count && i <= 32; ++i)
        list.Devices.push_back(std::make_unique<TdeAudioInDevice>(int8_t(i)));
    list.Built = true;
}

} // namespace

int InputDeviceCount()
{
    if (!Devices().Built)
        BuildDevices();
    return int(Devices().Devices.size());
}

TdeAudioInDevice *InputDevice(int index)
{
    if (!Devices().Built)
        BuildDevices();
    if (index < 0 || index >= int(Devices().Devices.size()))
        return nullptr;
    return Devices().Devices[size_t(index)].get();
}

void RefreshDevices() { BuildDevices(); }
