#pragma once
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>

#include "exception.h"
#include "mmreg.h"

struct AcmStream;
struct ACMSTREAMHEADER;
class QDataStream;

// ---------------------------------------------------------------------------------------------
// Errors of the audio library.

class EACMError : public Exception {
public:
    using Exception::Exception;
};
class EACMCodecError : public EACMError {
public:
    using EACMError::EACMError;
};
class EACMConversionError : public EACMError {
public:
    using EACMError::EACMError;
};
class EACMAudioIOError : public EACMError {
public:
    using EACMError::EACMError;
};
class EACMAudioInError : public EACMAudioIOError {
public:
    using EACMAudioIOError::EACMAudioIOError;
};
class EACMAudioOutError : public EACMAudioIOError {
public:
    using EACMAudioIOError::EACMAudioIOError;
};

// The text of a multimedia or codec-manager result code; "%s" of the table is the prefix
// followed by CR LF, or nothing when the prefix is empty.
QString MMResultText(MMRESULT code, const QString &prefix = QString());

// Raises E with the text of code unless code is 0. E is EACMError or one of its descendants.
template <class E = EACMError>
void CheckMMResult(MMRESULT code, const QString &prefix = QString())
{
    if (code != 0)
        throw E(MMResultText(code, prefix));
}

// ---------------------------------------------------------------------------------------------
// Wave format: one 512-byte image that starts with a WAVEFORMATEX.

class TdeWaveFormat {
public:
    static constexpr int ImageSize = 512;
    static constexpr int MaxExtraSize = ImageSize - int(sizeof(WAVEFORMATEX)); // 494
    static constexpr const char *FormatBufferProperty = "FormatBuffer";

    // Every byte zero, then the default format.
    TdeWaveFormat();
    TdeWaveFormat(const TdeWaveFormat &other) = default;
    TdeWaveFormat &operator=(const TdeWaveFormat &other) = default;

    uint16_t FormatTag() const { return Header().wFormatTag; }
    uint16_t Channels() const { return Header().nChannels; }
    uint32_t SamplesPerSec() const { return Header().nSamplesPerSec; }
    uint32_t AvgBytesPerSec() const { return Header().nAvgBytesPerSec; }
    uint16_t BlockAlign() const { return Header().nBlockAlign; }
    uint16_t BitsPerSample() const { return Header().wBitsPerSample; }
    uint16_t CbSize() const { return Header().cbSize; }
    // cbSize as far as the image holds it (at most 494).
    int ExtraSize() const;

    void SetFormatTag(uint16_t v) { Header().wFormatTag = v; }
    void SetChannels(uint16_t v) { Header().nChannels = v; }
    void SetSamplesPerSec(uint32_t v) { Header().nSamplesPerSec = v; }
    void SetAvgBytesPerSec(uint32_t v) { Header().nAvgBytesPerSec = v; }
    void SetBlockAlign(uint16_t v) { Header().nBlockAlign = v; }
    void SetBitsPerSample(uint16_t v) { Header().wBitsPerSample = v; }
    // Above 494 raises EACMError "The wave format buffer is too small."
    void SetCbSize(uint16_t v);

    // The image itself: a WAVEFORMATEX followed by the extra bytes and the rest.
    WAVEFORMATEX *Data() { return reinterpret_cast<WAVEFORMATEX *>(m_image.data()); }
    const WAVEFORMATEX *Data() const { return reinterpret_cast<const WAVEFORMATEX *>(m_image.data()); }
    uint8_t *Bytes() { return m_image.data(); }
    const uint8_t *Bytes() const { return m_image.data(); }
    uint8_t *Extra() { return m_image.data() + sizeof(WAVEFORMATEX); }
    const uint8_t *Extra() const { return m_image.data() + sizeof(WAVEFORMATEX); }
    // The header plus the meaningful extra bytes: what a WAVE file's fmt chunk holds.
    QByteArray FormatChunk() const;

    // Byte-for-byte comparison of the whole image, also beyond cbSize.
    bool IsEqual(const TdeWaveFormat &other) const;
    bool operator==(const TdeWaveFormat &other) const { return IsEqual(other); }
    void Assign(const TdeWaveFormat &source) { m_image = source.m_image; }
    void AssignTo(TdeWaveFormat &dest) const { dest.m_image = m_image; }
    // PCM, 2 channels, 11025 Hz, 22050 B/s, block 2, 8 bits, cbSize 0; the rest stays.
    void SetDefault();
    // Sets a consistent PCM format (block and byte rate from the others); the rest stays.
    void SetPCM(uint32_t samplesPerSec, uint16_t bitsPerSample, uint16_t channels);

    // The stored "FormatBuffer" property: always exactly 512 bytes.
    QByteArray FormatBuffer() const;
    // Takes a stored property; anything but 512 bytes raises EACMError and changes nothing.
    void SetFormatBuffer(const QByteArray &buffer);

    // File image: the 512 bytes. Saving replaces the file whole; loading reads up to 512
    // bytes over the start of the image. Failures raise EACMError.
    void SaveToFile(const QString &fileName) const;
    void LoadFromFile(const QString &fileName);

    // Shows the installed format chooser; true when the user accepted a format.
    bool ChooseFormat(const QString &title);
    // "<tag name>: <format details>", empty when the format is not known.
    QString Description() const;
    // Becomes the PCM format the codec manager suggests for decoding source.
    void SuggestPCMFrom(const TdeWaveFormat &source);
    // Whether a conversion stream from this format to dest can be opened.
    bool CanConvertTo(const TdeWaveFormat &dest, bool realTime) const;

private:
    WAVEFORMATEX &Header() { return *Data(); }
    const WAVEFORMATEX &Header() const { return *Data(); }

    alignas(4) std::array<uint8_t, ImageSize> m_image;
};

// The property stream: the 512 raw bytes.
QDataStream &operator<<(QDataStream &stream, const TdeWaveFormat &format);
// Leaves the format unchanged and the stream's status ReadPastEnd when 512 bytes are not there.
QDataStream &operator>>(QDataStream &stream, TdeWaveFormat &format);

// ---------------------------------------------------------------------------------------------
// Push protocol: a subject pushes each buffer to its attached observers.

class IdeAudioSubject;

class IdeAudioObserver {
public:
    virtual void AudioUpdate(IdeAudioSubject *subject, const void *data, int size) = 0;

protected:
    ~IdeAudioObserver() = default;
};

class IdeAudioSubject {
public:
    virtual void Attach(IdeAudioObserver *observer) = 0;
    virtual void Detach(IdeAudioObserver *observer) = 0;
    virtual TdeWaveFormat *GetFormat() = 0;

protected:
    ~IdeAudioSubject() = default;
};

using TBufferEvent = std::function<void(QObject *Sender, const void *AudioData, int AudioDataSize)>;
using TAbortableBufferEvent =
    std::function<void(QObject *Sender, const void *AudioData, int AudioDataSize, bool &Abort)>;
using TObserverErrorEvent = std::function<void(IdeAudioSubject *Sender, IdeAudioObserver *Observer,
                                               const Exception &E, bool &RaiseException)>;
using TAudioUpdateEvent = std::function<void(IdeAudioSubject *Subject, const void *Data, int Size)>;

// Base of the library's components: answers requests for the audio interfaces. A
// component plays a role by handing out the interface of its delegate.
class TdeAudioComponent : public QObject {
public:
    explicit TdeAudioComponent(QObject *parent = nullptr) : QObject(parent) {}
    virtual IdeAudioSubject *QueryAudioSubject() { return nullptr; }
    virtual IdeAudioObserver *QueryAudioObserver() { return nullptr; }
};

// The audio subject a component provides, or nullptr.
IdeAudioSubject *SupportsAudioSubject(QObject *component);
IdeAudioObserver *SupportsAudioObserver(QObject *component);

class TdeAudioObserver;

// The delegate that gives its owner the source role.
class TdeAudioSubject : public TdeAudioComponent, public IdeAudioSubject {
public:
    // owner is required; format is the owner's (not owned) and is what GetFormat returns.
    TdeAudioSubject(TdeAudioComponent *owner, TdeWaveFormat *format);
    ~TdeAudioSubject() override;

    void Attach(IdeAudioObserver *observer) override;
    void Detach(IdeAudioObserver *observer) override;
    TdeWaveFormat *GetFormat() override { return m_format; }
    // Pushes one buffer to every observer in attachment order.
    void Notify(IdeAudioSubject *sender, const void *data, int size);

    TdeAudioComponent *Owner() const { return m_owner; }
    const QList<IdeAudioObserver *> &Observers() const { return m_observers; }
    bool RaiseObserverErrors() const { return m_raiseObserverErrors; }
    void SetRaiseObserverErrors(bool v) { m_raiseObserverErrors = v; }
    TObserverErrorEvent OnObserverError;

    IdeAudioSubject *QueryAudioSubject() override { return this; }
    IdeAudioObserver *QueryAudioObserver() override { return m_owner->QueryAudioObserver(); }

private:
    TdeAudioComponent *m_owner;
    TdeWaveFormat *m_format;
    QList<IdeAudioObserver *> m_observers;
    bool m_raiseObserverErrors = true;
};

// The delegate that gives its owner the sink role.
class TdeAudioObserver : public TdeAudioComponent, public IdeAudioObserver {
public:
    explicit TdeAudioObserver(TdeAudioComponent *owner);
    ~TdeAudioObserver() override;

    QObject *AudioSource() const { return m_source; }
    // Attaches to source (a component providing IdeAudioSubject) or, with nullptr, detaches.
    void SetAudioSource(QObject *source);
    void AudioUpdate(IdeAudioSubject *subject, const void *data, int size) override;
    TAudioUpdateEvent OnAudioUpdate;

    TdeAudioComponent *Owner() const { return m_owner; }
    IdeAudioSubject *QueryAudioSubject() override { return m_owner->QueryAudioSubject(); }
    IdeAudioObserver *QueryAudioObserver() override { return this; }

private:
    friend class TdeAudioSubject;
    void SubjectGone(IdeAudioSubject *subject);
    void ForgetSource();

    TdeAudioComponent *m_owner;
    QObject *m_source = nullptr;
    IdeAudioSubject *m_subject = nullptr;
    QMetaObject::Connection m_sourceDestroyed;
};

// ---------------------------------------------------------------------------------------------
// Conversion: one codec-manager stream between two fixed formats.

class TMiniConvertor {
public:
    TMiniConvertor(const TdeWaveFormat &srcFormat, const TdeWaveFormat &dstFormat);
    ~TMiniConvertor();
    TMiniConvertor(const TMiniConvertor &) = delete;
    TMiniConvertor &operator=(const TMiniConvertor &) = delete;

    void Open(bool realTime);
    void Close();
    // Forgets the waiting bytes and the codec's history, as after Open.
    void Restart();
    // Appends the data to the waiting bytes and converts the whole blocks; returns the
    // number of bytes placed in OutBuffer (0 while less than a block waits).
    int Convert(const void *data, int size, bool set8087Flag, uint32_t flags);
    bool IsPrepared() const;

    bool Active() const { return m_active; }
    const TdeWaveFormat &SrcFormat() const { return m_srcFormat; }
    const TdeWaveFormat &DstFormat() const { return m_dstFormat; }
    const uint8_t *OutBuffer() const { return m_outBuffer; }
    int InCapacity() const { return m_inCapacity; }
    int InFill() const { return m_inFill; }
    int OutSize() const { return m_outSize; }

private:
    void Reset();
    bool Prepare();
    void ReallocIn(int capacity);

    TdeWaveFormat m_srcFormat;
    TdeWaveFormat m_dstFormat;
    AcmStream *m_handle = nullptr;
    bool m_active = false;
    uint8_t *m_inBuffer = nullptr;
    int m_inCapacity = 0;
    int m_inFill = 0;
    uint8_t *m_outBuffer = nullptr;
    int m_outSize = 0;
    ACMSTREAMHEADER *m_header;
};

// A chain of up to three streams between any two formats; a sink and a source.
class TdeAudioConvertor : public TdeAudioComponent {
public:
    explicit TdeAudioConvertor(QObject *parent = nullptr);
    ~TdeAudioConvertor() override;

    QObject *AudioSource() const { return m_observer.AudioSource(); }
    void SetAudioSource(QObject *source) { m_observer.SetAudioSource(source); }
    TdeWaveFormat &FormatIn() { return m_formatIn; }
    TdeWaveFormat &FormatOut() { return m_formatOut; }
    void SetFormatIn(const TdeWaveFormat &format) { m_formatIn.Assign(format); }
    void SetFormatOut(const TdeWaveFormat &format) { m_formatOut.Assign(format); }
    bool RequestRealTime() const { return m_requestRealTime; }
    // Only while inactive; otherwise EACMConversionError.
    void SetRequestRealTime(bool v);
    bool Set8087FPUFlag() const { return m_set8087FPUFlag; }
    void SetSet8087FPUFlag(bool v) { m_set8087FPUFlag = v; }
    TAbortableBufferEvent OnAudioConverted;
    TObserverErrorEvent OnObserverError;

    bool Active() const { return m_active; }
    void Open();
    void Close();
    void SetActive(bool active);
    void Convert(const void *data, int size);
    // Ends the stream: what the stages hold back (a partial block, completed with
    // silence; an encoder's last frames) is converted and handed on like any other
    // output. The chain stays open; harmless when inactive.
    void Flush();
    // Starts a new stream on the open chain: every stage forgets what it holds, as after
    // Open, without building the chain again. Harmless when inactive.
    void Restart();

    const QList<TdeWaveFormat *> &Formats() const { return m_formats; }
    const QList<TMiniConvertor *> &Stages() const { return m_stages; }
    const void *OutData() const { return m_outData; }
    int OutSize() const { return m_outSize; }
    bool Abort() const { return m_abort; }

    IdeAudioSubject *QueryAudioSubject() override { return &m_subject; }
    IdeAudioObserver *QueryAudioObserver() override { return &m_observer; }

protected:
    virtual void AudioUpdate(IdeAudioSubject *subject, const void *data, int size);
    virtual void ObserverError(IdeAudioSubject *sender, IdeAudioObserver *observer, const Exception &e,
                               bool &raiseException);

private:
    void BuildChain();
    void FreeChain();
    void Deliver(const void *data, int size);
    bool CanConvert(const TdeWaveFormat &a, const TdeWaveFormat &b) const;
    TdeWaveFormat SuggestedPCM(const TdeWaveFormat &source, const TdeWaveFormat &basedOn) const;

    TdeWaveFormat m_formatIn;
    TdeWaveFormat m_formatOut;
    bool m_requestRealTime = false;
    bool m_set8087FPUFlag = true;
    bool m_active = false;
    bool m_abort = false;
    quint64 m_chainGeneration = 0;
    QList<TdeWaveFormat *> m_formats;
    QList<TMiniConvertor *> m_stages;
    const void *m_outData = nullptr;
    int m_outSize = 0;
    TdeAudioObserver m_observer;
    TdeAudioSubject m_subject;
};
