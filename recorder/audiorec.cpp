#include "audiorec.h"

#include "clock.h"
#include "myutils.h"

#include <exception>
#include <unistd.h>

Taudiorec::Taudiorec(bool withLevelSource, uint16_t maxMinutes) : m_maxMinutes(maxMinutes)
{
    if (withLevelSource)
        m_levelSource = std::make_unique<TdeAudioControlSource>();
    m_convertor.OnAudioConverted = [this](QObject *, const void *data, int size, bool &) {
        AudioConverted(data, size);
    };
}

Taudiorec::~Taudiorec()
{
    try {
        Stop();
    } catch (...) {
    }
    m_convertor.SetAudioSource(nullptr);
}

QString Taudiorec::LimitReachedText() { return QStringLiteral("Dosažen nahrávací limit, nahrávání je ukončeno."); }

QString Taudiorec::WriteFailedText() { return QStringLiteral("Chyba při zápisu nahrávky, nahrávka je neúplná: "); }

QString Taudiorec::FileFullText()
{
    return QStringLiteral("Dosažena největší možná velikost souboru nahrávky, nahrávání je ukončeno.");
}

void Taudiorec::Start(const QString &fileName)
{
    m_problem.clear();
    m_convertor.SetActive(false);

    if (!m_deviceName.isEmpty()) {
        // Device numbers may change between runs; the name is what the user chose.
        RefreshDevices();
        for (int i = 0; i < InputDeviceCount(); ++i) {
            TdeAudioInDevice *device = InputDevice(i);
            if (device->Name == m_deviceName) {
                if (device->DeviceID != m_wavein.DeviceID())
                    m_wavein.SetDeviceID(device->DeviceID);
                break;
            }
        }
    }

    try {
        StartRun(fileName);
    } catch (const Exception &e) {
        m_problem = e.message();
        throw;
    }
}

void Taudiorec::StartRun(const QString &fileName)
{
    m_convertor.FormatOut().Assign(m_recordFormat);
    m_wavein.Format().SuggestPCMFrom(m_recordFormat);
    m_wavein.SetBufferSize(m_wavein.Format().AvgBytesPerSec() / 8 + 4);

    m_convertor.SetAudioSource(&m_wavein);
    m_convertor.FormatIn().Assign(m_wavein.Format());
    m_convertor.Open();

    // A file a failed start left open belongs to no run: a monitor must not write into
    // it, and the writer goes before the file it completes.
    m_writer.reset();
    m_file.reset();
    if (!fileName.isEmpty()) {
        // Never through a link or into a pipe, and unbuffered, so that a refused write is
        // known at once and the block taken back.
        QString why;
        const int fd = CreateFileNoFollow(fileName, &why);
        if (fd < 0)
            throw Exception(QStringLiteral("Cannot create file \"%1\". %2").arg(fileName, why));
        auto file = std::make_unique<QFile>();
        if (!file->open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
            ::close(fd);
            throw Exception(QStringLiteral("Cannot create file \"%1\". %2").arg(fileName, file->errorString()));
        }
        m_file = std::move(file);
        m_writer = std::make_unique<TdeRIFFAudioWriter>(m_file.get());
        m_writer->SetFormat(RecordFormat());
        m_writer->SetSizeLimit(m_fileSizeLimit);
    }

    // After the converter: each buffer is written first and measured then.
    if (m_levelSource)
        m_levelSource->SetAudioSource(&m_wavein);

    m_wavein.Open();
    m_startTick = GetTickCount();
}

void Taudiorec::AudioConverted(const void *data, int size)
{
    if (m_writer) {
        try {
            m_writer->Write(data, size);
        } catch (const EWaveFileFull &) {
            WriteLogLine(FileFullText());
            if (!m_stopping)
                Stop();
            return;
        } catch (const EStreamWriteError &e) {
            // A full disk: what was written stays a complete file, and the call is told.
            const QString reason = m_file ? m_file->errorString() : e.message();
            if (m_problem.isEmpty())
                m_problem = WriteFailedText() + reason;
            WriteLogLine(WriteFailedText() + reason);
            if (!m_stopping)
                Stop();
            return;
        }
    }
    if (!m_stopping && m_maxMinutes > 0
        && TickDifference(m_startTick, GetTickCount()) >= uint32_t(m_maxMinutes) * 60000u) {
        WriteLogLine(LimitReachedText());
        Stop();
    }
}

void Taudiorec::Stop()
{
    // The codecs hold back the end of the sound (a partial block, an encoder's last
    // frames) until their stream ends; it belongs in the file before the file closes.
    if (m_writer && m_convertor.Active() && !m_stopping) {
        m_stopping = true;
        try {
            m_convertor.Flush();
        } catch (const Exception &) {
            // The file keeps what was written, as with any error while recording.
        }
        m_stopping = false;
    }
    // Every step runs even when one before it fails: the device must not go on capturing,
    // and the file must be complete and closed, whatever else went wrong.
    std::exception_ptr failure;
    auto step = [&failure](const auto &action) {
        try {
            action();
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    };
    step([this] { m_convertor.SetActive(false); });
    step([this] { m_wavein.Close(); });
    if (m_levelSource) {
        step([this] { m_levelSource->SetAudioSource(nullptr); });
        step([this] {
            if (m_levelSource->OnDataChanged)
                m_levelSource->OnDataChanged(nullptr);
        });
    }
    if (m_writer) {
        try {
            m_writer->Complete();
        } catch (const Exception &) {
            const QString reason = m_file ? m_file->errorString() : QString();
            if (m_problem.isEmpty())
                m_problem = WriteFailedText() + reason;
            WriteLogLine(WriteFailedText() + reason);
        }
    }
    m_writer.reset();
    m_file.reset();
    step([this] { m_convertor.SetActive(false); });
    if (failure)
        std::rethrow_exception(failure);
}

QString Taudiorec::FormatDescription() const { return m_recordFormat.Description(); }
