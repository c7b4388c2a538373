#include "deAudioStreams.h"

#include <QFileDevice>
#include <QIODevice>
#include <QtEndian>

TdeAbstractAudioStream::TdeAbstractAudioStream(QIODevice *stream) : m_stream(stream)
{
    if (!stream)
        throw EACMError(QStringLiteral("Assertion failed: an audio stream needs a stream to write to."));
}

TdeAbstractAudioStream::~TdeAbstractAudioStream() = default;

TdeAbstractAudioWriter::TdeAbstractAudioWriter(QIODevice *stream)
    : TdeAbstractAudioStream(stream), m_startPosition(stream->pos())
{
}

bool TdeAbstractAudioWriter::Accepts(int) const { return true; }

void TdeAbstractAudioWriter::Write(const void *data, int size)
{
    // An empty block would leave the size at 0 and bring a second header later.
    if (size <= 0)
        return;
    if (!Accepts(size))
        throw EWaveFileFull(QStringLiteral("The wave file has reached its largest possible size."));
    bool first = m_dataSize == 0;
    const qint64 before = m_stream->pos();
    try {
        if (first)
            WriteHeader();
        WriteData(data, size);
    } catch (const EStreamWriteError &) {
        // A part of a block (or of the header) is no sound a player can use.
        if (auto *file = qobject_cast<QFileDevice *>(m_stream)) {
            file->resize(before);
            file->seek(before);
        }
        throw;
    }
    m_dataSize += size;
    if (first)
        AfterFirstBlock();
}

void TdeAbstractAudioWriter::WriteBytes(const void *data, qint64 size)
{
    if (size > 0 && m_stream->write(static_cast<const char *>(data), size) != size)
        throw EStreamWriteError(QStringLiteral("Stream write error"));
}

void TdeAbstractAudioWriter::WriteUInt32(uint32_t value)
{
    uchar bytes[4];
    qToLittleEndian(value, bytes);
    WriteBytes(bytes, 4);
}

void TdeAbstractAudioWriter::SeekTo(qint64 position)
{
    if (!m_stream->seek(position))
        throw EStreamWriteError(QStringLiteral("Stream write error"));
}

TdeRIFFAudioWriter::TdeRIFFAudioWriter(QIODevice *stream) : TdeAbstractAudioWriter(stream) {}

void TdeRIFFAudioWriter::Complete()
{
    if (m_completed || m_dataSize == 0)
        return;
    m_completed = true;
    Finish();
}

TdeRIFFAudioWriter::~TdeRIFFAudioWriter()
{
    if (m_dataSize > 0 && !m_completed) {
        try {
            Finish();
        } catch (...) {
            // The caller closes the stream next; a file that could not be completed
            // keeps its placeholders, as after an abrupt end.
        }
    }
}

uint32_t TdeRIFFAudioWriter::FormatChunkSize(const TdeWaveFormat &format)
{
    return format.FormatTag() == WAVE_FORMAT_PCM ? 16u : 18u + uint32_t(format.ExtraSize());
}

void TdeRIFFAudioWriter::WriteHeader()
{
    if (m_format.FormatTag() == 0)
        throw EACMError(QStringLiteral("Assertion failed: a wave format without a format tag cannot be written."));
    WriteBytes("RIFF", 4);
    WriteUInt32(0);
    WriteBytes("WAVE", 4);
    uint32_t size = FormatChunkSize(m_format);
    WriteBytes("fmt ", 4);
    WriteUInt32(size);
    WriteBytes(m_format.Bytes(), size);
    m_dataChunkPosition = m_stream->pos();
    WriteBytes("data", 4);
    WriteUInt32(0);
}

void TdeRIFFAudioWriter::WriteData(const void *data, int size) { WriteBytes(data, size); }

bool TdeRIFFAudioWriter::Accepts(int size) const
{
    // The header goes in front of the first block.
    qint64 end = m_dataSize == 0 ? m_stream->pos() + 28 + FormatChunkSize(m_format) : m_stream->pos();
    return end + size - m_startPosition <= m_sizeLimit;
}

void TdeRIFFAudioWriter::Finish()
{
    qint64 end = m_stream->pos();
    SeekTo(m_startPosition + 4);
    WriteUInt32(uint32_t(end - (m_startPosition + 8)));
    SeekTo(m_dataChunkPosition + 4);
    WriteUInt32(uint32_t(end - (m_dataChunkPosition + 8)));
    SeekTo(end);
    // A buffered stream reports a refused write only when it hands the bytes on.
    if (auto *file = qobject_cast<QFileDevice *>(m_stream); file && !file->flush())
        throw EStreamWriteError(QStringLiteral("Stream write error"));
}
