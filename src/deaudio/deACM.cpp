#include "deACM.h"

#include <QDataStream>
#include <QFile>
#include <QPointer>
#include <QSaveFile>
#include <cfenv>
#include <cstdlib>
#include <cstring>

#include "acmapi.h"

// ---------------------------------------------------------------------------------------------
// Result codes

QString MMResultText(MMRESULT code, const QString &prefix)
{
    const QString p = prefix.isEmpty() ? QString() : prefix + QStringLiteral("\r\n");
    const char *text = nullptr;
    switch (code) {
    case MMSYSERR_BADDEVICEID: text = "Bad device ID."; break;
    case MMSYSERR_NOTENABLED: text = "Driver not enabled."; break;
    case MMSYSERR_ALLOCATED: text = "Device already allocated."; break;
    case MMSYSERR_INVALHANDLE: text = "The specified handle is invalid."; break;
    case MMSYSERR_NODRIVER: text = "A suitable driver is not available to provide valid format selections."; break;
    case MMSYSERR_NOMEM: text = "The system is unable to allocate resources."; break;
    case MMSYSERR_NOTSUPPORTED: text = "Function not supported."; break;
    case MMSYSERR_INVALFLAG: text = "At least one flag is invalid."; break;
    case MMSYSERR_INVALPARAM: text = "At least one parameter is invalid."; break;
    case MMSYSERR_HANDLEBUSY: text = "Device handle in use."; break;
    case WAVERR_BADFORMAT: text = "The selected audio format is not supported on this machine."; break;
    case WAVERR_STILLPLAYING: text = "Audio device is still playing."; break;
    case WAVERR_UNPREPARED: text = "Cannot perform this action on a header that has not been prepared."; break;
    case WAVERR_SYNC: text = "Device is synchronous."; break;
    case ACMERR_NOTPOSSIBLE: text = "The requested operation cannot be performed."; break;
    case ACMERR_BUSY: text = "The conversion stream is already in use."; break;
    case ACMERR_UNPREPARED: text = "Cannot perform this action on a header that has not been prepared."; break;
    default:
        return p + QStringLiteral("An unexpected error has occurred (code #%1).").arg(code);
    }
    return p + QString::fromLatin1(text);
}

namespace {
const QString kNotPossible = QStringLiteral("Conversion not possible.");
const QString kWhileActive = QStringLiteral("Cannot perform this action while active.");
const QString kWhileNotActive = QStringLiteral("Cannot perform this action while not active.");
} // namespace

// ---------------------------------------------------------------------------------------------
// TdeWaveFormat

TdeWaveFormat::TdeWaveFormat()
{
    m_image.fill(0);
    SetDefault();
}

int TdeWaveFormat::ExtraSize() const
{
    return qMin<int>(CbSize(), MaxExtraSize);
}

void TdeWaveFormat::SetCbSize(uint16_t v)
{
    if (v > MaxExtraSize)
        throw EACMError(QStringLiteral("The wave format buffer is too small."));
    Header().cbSize = v;
}

QByteArray TdeWaveFormat::FormatChunk() const
{
    return QByteArray(reinterpret_cast<const char *>(m_image.data()), int(sizeof(WAVEFORMATEX)) + ExtraSize());
}

bool TdeWaveFormat::IsEqual(const TdeWaveFormat &other) const
{
    return m_image == other.m_image;
}

void TdeWaveFormat::SetDefault()
{
    SetFormatTag(WAVE_FORMAT_PCM);
    SetChannels(2);
    SetSamplesPerSec(11025);
    SetAvgBytesPerSec(22050);
    SetBlockAlign(2);
    SetBitsPerSample(8);
    Header().cbSize = 0;
}

void TdeWaveFormat::SetPCM(uint32_t samplesPerSec, uint16_t bitsPerSample, uint16_t channels)
{
    SetFormatTag(WAVE_FORMAT_PCM);
    SetChannels(channels);
    SetSamplesPerSec(samplesPerSec);
    SetBitsPerSample(bitsPerSample);
    SetBlockAlign(uint16_t(channels * (bitsPerSample / 8)));
    SetAvgBytesPerSec(samplesPerSec * BlockAlign());
    Header().cbSize = 0;
}

QByteArray TdeWaveFormat::FormatBuffer() const
{
    return QByteArray(reinterpret_cast<const char *>(m_image.data()), ImageSize);
}

void TdeWaveFormat::SetFormatBuffer(const QByteArray &buffer)
{
    if (buffer.size() != ImageSize)
        throw EACMError(QStringLiteral("Invalid wave format buffer size (%1 bytes).").arg(buffer.size()));
    std::memcpy(m_image.data(), buffer.constData(), ImageSize);
}

QDataStream &operator<<(QDataStream &stream, const TdeWaveFormat &format)
{
    stream.writeRawData(reinterpret_cast<const char *>(format.Bytes()), TdeWaveFormat::ImageSize);
    return stream;
}

QDataStream &operator>>(QDataStream &stream, TdeWaveFormat &format)
{
    char buffer[TdeWaveFormat::ImageSize];
    if (stream.readRawData(buffer, TdeWaveFormat::ImageSize) != TdeWaveFormat::ImageSize) {
        stream.setStatus(QDataStream::ReadPastEnd);
        return stream;
    }
    std::memcpy(format.Bytes(), buffer, TdeWaveFormat::ImageSize);
    return stream;
}

void TdeWaveFormat::SaveToFile(const QString &fileName) const
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        throw EACMError(QStringLiteral("Cannot create file \"%1\". %2").arg(fileName, file.errorString()));
    if (file.write(reinterpret_cast<const char *>(m_image.data()), ImageSize) != ImageSize || !file.commit())
        throw EACMError(QStringLiteral("Cannot write file \"%1\". %2").arg(fileName, file.errorString()));
}

void TdeWaveFormat::LoadFromFile(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EACMError(QStringLiteral("Cannot open file \"%1\". %2").arg(fileName, file.errorString()));
    const QByteArray bytes = file.read(ImageSize);
    if (bytes.isEmpty() && file.error() != QFileDevice::NoError)
        throw EACMError(QStringLiteral("Cannot read file \"%1\". %2").arg(fileName, file.errorString()));
    std::memcpy(m_image.data(), bytes.constData(), size_t(bytes.size()));
}

bool TdeWaveFormat::ChooseFormat(const QString &title)
{
    TdeWaveFormat working(*this);
    const std::u16string titleText = title.toStdU16String();
    ACMFORMATCHOOSE choose{};
    choose.cbStruct = sizeof(ACMFORMATCHOOSE);
    choose.fdwStyle = ACMFORMATCHOOSE_STYLEF_INITTOWFXSTRUCT;
    choose.hwndOwner = nullptr;
    choose.pwfx = working.Data();
    choose.cbwfx = ImageSize;
    choose.pszTitle = titleText.c_str();
    choose.fdwEnum = 0;
    choose.pwfxEnum = nullptr;
    const MMRESULT result = acmFormatChoose(&choose);
    if (result == ACMERR_CANCELED)
        return false;
    CheckMMResult<EACMConversionError>(result, QStringLiteral("Error selecting format."));
    // The chooser writes at most cbwfx bytes, so the extra part always fits the image.
    Q_ASSERT(working.CbSize() + sizeof(WAVEFORMATEX) <= size_t(ImageSize));
    Assign(working);
    return true;
}

QString TdeWaveFormat::Description() const
{
    QString prefix;
    ACMFORMATTAGDETAILS tag{};
    tag.cbStruct = sizeof(tag);
    tag.dwFormatTag = FormatTag();
    if (acmFormatTagDetails(&tag, ACM_FORMATTAGDETAILSF_FORMATTAG) == MMSYSERR_NOERROR)
        prefix = QString::fromUtf16(tag.szFormatTag) + QStringLiteral(": ");

    TdeWaveFormat copy(*this);
    ACMFORMATDETAILS details{};
    details.cbStruct = sizeof(details);
    details.dwFormatTag = FormatTag();
    details.pwfx = copy.Data();
    details.cbwfx = ImageSize;
    if (acmFormatDetails(&details, ACM_FORMATDETAILSF_FORMAT) != MMSYSERR_NOERROR)
        return QString();
    return prefix + QString::fromUtf16(details.szFormat);
}

bool TdeWaveFormat::CanConvertTo(const TdeWaveFormat &dest, bool realTime) const
{
    uint32_t flags = ACM_STREAMOPENF_QUERY;
    if (!realTime)
        flags |= ACM_STREAMOPENF_NONREALTIME;
    return acmStreamOpen(nullptr, Data(), dest.Data(), flags) == MMSYSERR_NOERROR;
}

void TdeWaveFormat::SuggestPCMFrom(const TdeWaveFormat &source)
{
    TdeWaveFormat suggested(source);
    suggested.SetFormatTag(WAVE_FORMAT_PCM);
    CheckMMResult<EACMConversionError>(
        acmFormatSuggest(source.Data(), suggested.Data(), ImageSize, ACM_FORMATSUGGESTF_WFORMATTAG));
    // A codec that only encodes cannot decode its format, yet the suggested PCM still
    // feeds it; such a suggestion is as good for capturing as a decodable one.
    if (!source.CanConvertTo(suggested, false) && !suggested.CanConvertTo(source, false))
        throw EACMConversionError(kNotPossible);
    Assign(suggested);
}

// ---------------------------------------------------------------------------------------------
// Push protocol

IdeAudioSubject *SupportsAudioSubject(QObject *component)
{
    auto *audio = dynamic_cast<TdeAudioComponent *>(component);
    return audio ? audio->QueryAudioSubject() : nullptr;
}

IdeAudioObserver *SupportsAudioObserver(QObject *component)
{
    auto *audio = dynamic_cast<TdeAudioComponent *>(component);
    return audio ? audio->QueryAudioObserver() : nullptr;
}

TdeAudioSubject::TdeAudioSubject(TdeAudioComponent *owner, TdeWaveFormat *format)
    : m_owner(owner), m_format(format)
{
    Q_ASSERT(owner && format);
}

TdeAudioSubject::~TdeAudioSubject()
{
    // Observer delegates must not detach from a subject that is gone.
    const QList<IdeAudioObserver *> observers = m_observers;
    m_observers.clear();
    for (IdeAudioObserver *observer : observers)
        if (auto *delegate = dynamic_cast<TdeAudioObserver *>(observer))
            delegate->SubjectGone(this);
}

void TdeAudioSubject::Attach(IdeAudioObserver *observer)
{
    m_observers.append(observer);
}

void TdeAudioSubject::Detach(IdeAudioObserver *observer)
{
    m_observers.removeOne(observer);
}

void TdeAudioSubject::Notify(IdeAudioSubject *sender, const void *data, int size)
{
    qsizetype index = 0;
    while (index < m_observers.size()) {
        IdeAudioObserver *observer = m_observers.at(index);
        try {
            observer->AudioUpdate(sender, data, size);
        } catch (const Exception &e) {
            bool raise = m_raiseObserverErrors;
            if (OnObserverError)
                OnObserverError(sender, observer, e, raise);
            if (raise)
                throw;
        }
        // An observer that detached itself leaves its successor at this index.
        if (index < m_observers.size() && m_observers.at(index) == observer)
            ++index;
    }
}

TdeAudioObserver::TdeAudioObserver(TdeAudioComponent *owner) : m_owner(owner)
{
    Q_ASSERT(owner);
}

TdeAudioObserver::~TdeAudioObserver()
{
    SetAudioSource(nullptr);
}

void TdeAudioObserver::SetAudioSource(QObject *source)
{
    if (source == m_source)
        return;
    if (source) {
        if (source == m_owner)
            throw EACMError(QStringLiteral("Component cannot observe itself."));
        if (!SupportsAudioSubject(source))
            throw EACMError(QStringLiteral("The selected component is not an audio subject."));
    }
    if (m_subject)
        m_subject->Detach(this);
    ForgetSource();
    if (!source)
        return;
    m_source = source;
    m_subject = SupportsAudioSubject(source);
    // By the time destroyed() is emitted the source is no longer itself: just forget it.
    m_sourceDestroyed = QObject::connect(source, &QObject::destroyed, this, [this] { ForgetSource(); });
    m_subject->Attach(this);
}

void TdeAudioObserver::ForgetSource()
{
    if (m_sourceDestroyed)
        QObject::disconnect(m_sourceDestroyed);
    m_sourceDestroyed = {};
    m_source = nullptr;
    m_subject = nullptr;
}

void TdeAudioObserver::SubjectGone(IdeAudioSubject *subject)
{
    if (m_subject == subject)
        ForgetSource();
}

void TdeAudioObserver::AudioUpdate(IdeAudioSubject *subject, const void *data, int size)
{
    if (OnAudioUpdate)
        OnAudioUpdate(subject, data, size);
}

// ---------------------------------------------------------------------------------------------
// TMiniConvertor

TMiniConvertor::TMiniConvertor(const TdeWaveFormat &srcFormat, const TdeWaveFormat &dstFormat)
    : m_srcFormat(srcFormat), m_dstFormat(dstFormat), m_header(new ACMSTREAMHEADER{})
{
    m_header->cbStruct = sizeof(ACMSTREAMHEADER);
}

TMiniConvertor::~TMiniConvertor()
{
    if (m_active) {
        try {
            Close();
        } catch (const Exception &) {
            // A stream that fails to close still gives back its memory below.
        }
    }
    std::free(m_inBuffer);
    std::free(m_outBuffer);
    if (m_handle)
        acmStreamClose(m_handle, 0);
    delete m_header;
}

bool TMiniConvertor::IsPrepared() const
{
    return (m_header->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED) != 0;
}

void TMiniConvertor::Open(bool realTime)
{
    if (m_active)
        throw EACMError(kWhileActive);
    CheckMMResult<EACMConversionError>(
        acmStreamOpen(&m_handle, m_srcFormat.Data(), m_dstFormat.Data(), realTime ? 0 : ACM_STREAMOPENF_NONREALTIME));
    m_active = true;
    Reset();
}

void TMiniConvertor::Reset()
{
    if (IsPrepared())
        CheckMMResult<EACMConversionError>(acmStreamUnprepareHeader(m_handle, m_header, 0));
    if (m_handle)
        CheckMMResult<EACMConversionError>(acmStreamReset(m_handle, 0));
    *m_header = ACMSTREAMHEADER{};
    m_header->cbStruct = sizeof(ACMSTREAMHEADER);
    std::free(m_inBuffer);
    std::free(m_outBuffer);
    m_inBuffer = nullptr;
    m_outBuffer = nullptr;
    m_inCapacity = 0;
    m_inFill = 0;
    m_outSize = 0;
}

void TMiniConvertor::Restart()
{
    if (!m_active)
        throw EACMError(kWhileNotActive);
    Reset();
}

void TMiniConvertor::Close()
{
    try {
        Reset();
    } catch (const Exception &) {
        acmStreamClose(m_handle, 0);
        m_handle = nullptr;
        m_active = false;
        throw;
    }
    const MMRESULT result = m_handle ? acmStreamClose(m_handle, 0) : MMSYSERR_NOERROR;
    m_handle = nullptr;
    m_active = false;
    CheckMMResult<EACMConversionError>(result);
}

void TMiniConvertor::ReallocIn(int capacity)
{
    auto *buffer = static_cast<uint8_t *>(std::realloc(m_inBuffer, size_t(qMax(capacity, 1))));
    if (!buffer)
        CheckMMResult<EACMConversionError>(MMSYSERR_NOMEM);
    m_inBuffer = buffer;
    m_inCapacity = capacity;
}

bool TMiniConvertor::Prepare()
{
    uint32_t outBytes = 0;
    if (acmStreamSize(m_handle, uint32_t(m_inFill), &outBytes, ACM_STREAMSIZEF_SOURCE) != MMSYSERR_NOERROR
        || outBytes == 0)
        return false;
    ReallocIn(3 * m_inFill);
    CheckMMResult<EACMConversionError>(
        acmStreamSize(m_handle, uint32_t(m_inCapacity), &outBytes, ACM_STREAMSIZEF_SOURCE));
    m_outBuffer = static_cast<uint8_t *>(std::malloc(qMax<size_t>(outBytes, 1)));
    if (!m_outBuffer)
        CheckMMResult<EACMConversionError>(MMSYSERR_NOMEM);
    m_outSize = int(outBytes);
    *m_header = ACMSTREAMHEADER{};
    m_header->cbStruct = sizeof(ACMSTREAMHEADER);
    m_header->pbSrc = m_inBuffer;
    m_header->cbSrcLength = uint32_t(m_inCapacity);
    m_header->pbDst = m_outBuffer;
    m_header->cbDstLength = outBytes;
    const MMRESULT result = acmStreamPrepareHeader(m_handle, m_header, 0);
    if (result != MMSYSERR_NOERROR) {
        std::free(m_outBuffer);
        m_outBuffer = nullptr;
        m_outSize = 0;
        CheckMMResult<EACMConversionError>(result);
    }
    return true;
}

int TMiniConvertor::Convert(const void *data, int size, bool set8087Flag, uint32_t flags)
{
    if (!m_active)
        throw EACMConversionError(kWhileNotActive);
    if (size < 0)
        size = 0;
    if (qint64(m_inFill) + size > m_inCapacity) {
        if (IsPrepared())
            throw EACMConversionError(QStringLiteral("Audio is too large to fit into conversion buffer"));
        ReallocIn(2 * (m_inFill + size));
    }
    if (size > 0)
        std::memcpy(m_inBuffer + m_inFill, data, size_t(size));
    m_inFill += size;

    if (!IsPrepared() && !Prepare())
        return 0;
    // At the end of the stream the codec is asked even below one block: it completes
    // the partial block and gives up what it holds back.
    const bool end = (flags & ACM_STREAMCONVERTF_END) != 0;
    uint32_t outBytes = 0;
    if (!end
        && (acmStreamSize(m_handle, uint32_t(m_inFill), &outBytes, ACM_STREAMSIZEF_SOURCE) != MMSYSERR_NOERROR
            || outBytes == 0))
        return 0;

    m_header->cbSrcLength = uint32_t(m_inFill);
    m_header->cbDstLengthUsed = 0;
    // Codecs run with every floating-point exception masked; the caller's environment
    // (control word and flags) comes back afterwards, also when the conversion fails.
    std::fenv_t saved;
    const bool masked = set8087Flag && std::feholdexcept(&saved) == 0;
    const MMRESULT result = acmStreamConvert(m_handle, m_header, flags);
    if (masked)
        std::fesetenv(&saved);
    CheckMMResult<EACMConversionError>(result);

    const int used = int(qMin<uint32_t>(m_header->cbSrcLengthUsed, uint32_t(m_inFill)));
    if (used > 0 && used < m_inFill)
        std::memmove(m_inBuffer, m_inBuffer + used, size_t(m_inFill - used));
    m_inFill -= used;
    return int(m_header->cbDstLengthUsed);
}

// ---------------------------------------------------------------------------------------------
// TdeAudioConvertor

TdeAudioConvertor::TdeAudioConvertor(QObject *parent)
    : TdeAudioComponent(parent), m_observer(this), m_subject(this, &m_formatOut)
{
    m_observer.OnAudioUpdate = [this](IdeAudioSubject *subject, const void *data, int size) {
        AudioUpdate(subject, data, size);
    };
    m_subject.OnObserverError = [this](IdeAudioSubject *sender, IdeAudioObserver *observer, const Exception &e,
                                       bool &raise) { ObserverError(sender, observer, e, raise); };
}

TdeAudioConvertor::~TdeAudioConvertor()
{
    try {
        SetActive(false);
    } catch (const Exception &) {
        FreeChain();
    }
    m_observer.SetAudioSource(nullptr);
}

void TdeAudioConvertor::SetRequestRealTime(bool v)
{
    if (v == m_requestRealTime)
        return;
    if (m_active)
        throw EACMConversionError(kWhileActive);
    m_requestRealTime = v;
}

bool TdeAudioConvertor::CanConvert(const TdeWaveFormat &a, const TdeWaveFormat &b) const
{
    return a.CanConvertTo(b, m_requestRealTime);
}

TdeWaveFormat TdeAudioConvertor::SuggestedPCM(const TdeWaveFormat &source, const TdeWaveFormat &basedOn) const
{
    TdeWaveFormat result(basedOn);
    result.SetFormatTag(WAVE_FORMAT_PCM);
    CheckMMResult<EACMConversionError>(acmFormatSuggest(source.Data(), result.Data(), TdeWaveFormat::ImageSize,
                                                        ACM_FORMATSUGGESTF_WFORMATTAG));
    return result;
}

void TdeAudioConvertor::FreeChain()
{
    ++m_chainGeneration;
    qDeleteAll(m_stages);
    m_stages.clear();
    qDeleteAll(m_formats);
    m_formats.clear();
}

void TdeAudioConvertor::BuildChain()
{
    FreeChain();
    m_formats.append(new TdeWaveFormat(m_formatIn));
    if (!CanConvert(m_formatIn, m_formatOut)) {
        // Decode to PCM, then bring that PCM to what the output codec takes.
        const TdeWaveFormat p1 = SuggestedPCM(m_formatIn, m_formatIn);
        if (!CanConvert(m_formatIn, p1))
            throw EACMConversionError(kNotPossible);
        if (!p1.IsEqual(m_formatIn) && !p1.IsEqual(m_formatOut))
            m_formats.append(new TdeWaveFormat(p1));
        if (!CanConvert(p1, m_formatOut)) {
            const TdeWaveFormat p2 = SuggestedPCM(m_formatOut, p1);
            if (!CanConvert(p1, p2) || !CanConvert(p2, m_formatOut))
                throw EACMConversionError(kNotPossible);
            if (!p2.IsEqual(p1) && !p2.IsEqual(m_formatOut))
                m_formats.append(new TdeWaveFormat(p2));
        }
    }
    m_formats.append(new TdeWaveFormat(m_formatOut));
    for (qsizetype k = 0; k + 1 < m_formats.size(); ++k)
        m_stages.append(new TMiniConvertor(*m_formats[k], *m_formats[k + 1]));
}

void TdeAudioConvertor::Open()
{
    if (m_active)
        throw EACMConversionError(kWhileActive);
    try {
        BuildChain();
        for (TMiniConvertor *stage : std::as_const(m_stages))
            stage->Open(m_requestRealTime);
    } catch (...) {
        FreeChain(); // each stage closes itself when freed
        throw;
    }
    m_active = true;
}

void TdeAudioConvertor::Close()
{
    if (!m_active)
        throw EACMConversionError(kWhileNotActive);
    m_active = false;
    m_outData = nullptr;
    m_outSize = 0;
    QString failure;
    for (TMiniConvertor *stage : std::as_const(m_stages)) {
        try {
            stage->Close();
        } catch (const Exception &e) {
            if (failure.isEmpty())
                failure = e.message();
        }
    }
    FreeChain();
    if (!failure.isEmpty())
        throw EACMConversionError(failure);
}

void TdeAudioConvertor::SetActive(bool active)
{
    if (active == m_active)
        return;
    if (active)
        Open();
    else
        Close();
}

void TdeAudioConvertor::Convert(const void *data, int size)
{
    if (!m_active)
        throw EACMConversionError(kWhileNotActive);
    m_outData = nullptr;
    m_outSize = 0;
    const void *current = data;
    int currentSize = size;
    for (TMiniConvertor *stage : std::as_const(m_stages)) {
        const int produced = stage->Convert(current, currentSize, m_set8087FPUFlag, ACM_STREAMCONVERTF_BLOCKALIGN);
        if (produced == 0) {
            current = nullptr;
            currentSize = 0;
            break;
        }
        current = stage->OutBuffer();
        currentSize = produced;
    }
    Deliver(current, currentSize);
}

void TdeAudioConvertor::Flush()
{
    if (!m_active)
        return;
    m_outData = nullptr;
    m_outSize = 0;
    // Each stage ends its stream after taking the last output of the stage before it.
    const void *current = nullptr;
    int currentSize = 0;
    for (TMiniConvertor *stage : std::as_const(m_stages)) {
        const int produced = stage->Convert(current, currentSize, m_set8087FPUFlag, ACM_STREAMCONVERTF_END);
        current = produced > 0 ? stage->OutBuffer() : nullptr;
        currentSize = produced;
    }
    Deliver(current, currentSize);
}

void TdeAudioConvertor::Restart()
{
    if (!m_active)
        return;
    m_outData = nullptr;
    m_outSize = 0;
    for (TMiniConvertor *stage : std::as_const(m_stages))
        stage->Restart();
}

void TdeAudioConvertor::Deliver(const void *data, int size)
{
    m_outData = data;
    m_outSize = size;
    if (!m_outData || m_outSize == 0)
        return;
    const quint64 generation = m_chainGeneration;
    m_subject.Notify(&m_subject, m_outData, m_outSize);
    // An observer that closed or rebuilt the chain took the output buffer with it.
    if (!m_active || m_chainGeneration != generation)
        return;
    if (OnAudioConverted) {
        m_abort = false;
        OnAudioConverted(this, m_outData, m_outSize, m_abort);
    }
}

void TdeAudioConvertor::AudioUpdate(IdeAudioSubject *subject, const void *data, int size)
{
    const TdeWaveFormat *format = subject->GetFormat();
    if (!m_active || !format->IsEqual(m_formatIn)) {
        SetActive(false);
        m_formatIn.Assign(*format);
        SetActive(true);
    }
    Convert(data, size);
}

void TdeAudioConvertor::ObserverError(IdeAudioSubject *sender, IdeAudioObserver *observer, const Exception &e,
                                      bool &raiseException)
{
    if (OnObserverError)
        OnObserverError(sender, observer, e, raiseException);
}
