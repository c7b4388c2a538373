#pragma once
#include "deACM.h"

#include <algorithm>

class QIODevice;

// Raised when the stream under a writer refuses bytes (a full disk, a lost drive).
class EStreamWriteError : public Exception {
public:
    using Exception::Exception;
};

// A format plus the stream it describes. The stream is the caller's: created and
// freed by it.
class TdeAbstractAudioStream {
public:
    explicit TdeAbstractAudioStream(QIODevice *stream);
    virtual ~TdeAbstractAudioStream();
    TdeAbstractAudioStream(const TdeAbstractAudioStream &) = delete;
    TdeAbstractAudioStream &operator=(const TdeAbstractAudioStream &) = delete;

    virtual void SetFormat(const TdeWaveFormat &format) { m_format.Assign(format); }
    virtual TdeWaveFormat &GetFormat() { return m_format; }
    QIODevice *Stream() const { return m_stream; }

protected:
    TdeWaveFormat m_format;
    QIODevice *m_stream;
};

// Writes audio blocks behind a header that is written with the first block.
class TdeAbstractAudioWriter : public TdeAbstractAudioStream {
public:
    explicit TdeAbstractAudioWriter(QIODevice *stream);

    // A block the stream refuses (EStreamWriteError) is taken back whole where the stream
    // allows it, so that the file keeps whole blocks and the sizes describe them.
    void Write(const void *data, int size);
    qint64 DataSize() const { return m_dataSize; }
    qint64 StartPosition() const { return m_startPosition; }

protected:
    virtual void Finish() {}
    virtual void AfterFirstBlock() {}
    virtual void WriteHeader() {}
    virtual void WriteData(const void *data, int size) = 0;
    // Refuses the write (and returns false) when the file would outgrow what its
    // headers can describe; the base accepts everything.
    virtual bool Accepts(int size) const;
    void WriteBytes(const void *data, qint64 size);
    void WriteUInt32(uint32_t value);
    void SeekTo(qint64 position);

    qint64 m_dataSize = 0;
    qint64 m_startPosition = 0;
};

// A RIFF WAVE file: "RIFF" size "WAVE", a "fmt " chunk with the format image and a
// "data" chunk with the blocks as received; the sizes are filled in at the end.
class TdeRIFFAudioWriter : public TdeAbstractAudioWriter {
public:
    explicit TdeRIFFAudioWriter(QIODevice *stream);
    // Completes the file when any audio was written (and Complete has not done so).
    ~TdeRIFFAudioWriter() override;
    // Fills in the sizes now; raises EStreamWriteError when the stream refuses them.
    void Complete();

    qint64 DataChunkPosition() const { return m_dataChunkPosition; }
    // Size of the fmt chunk's contents for a format: 16 for PCM, else 18 + cbSize.
    static uint32_t FormatChunkSize(const TdeWaveFormat &format);
    // The largest file the 32-bit size fields describe.
    static constexpr qint64 MaxFileSize = 0xFFFFFFFFll + 8;
    // A smaller limit for the file (a file system that holds less); never above MaxFileSize.
    void SetSizeLimit(qint64 bytes) { m_sizeLimit = std::min(bytes, MaxFileSize); }
    qint64 SizeLimit() const { return m_sizeLimit; }

protected:
    void Finish() override;
    void WriteHeader() override;
    void WriteData(const void *data, int size) override;
    bool Accepts(int size) const override;

private:
    bool m_completed = false;
    qint64 m_dataChunkPosition = 0;
    qint64 m_sizeLimit = MaxFileSize;
};

// Raised by Write when a block would take a WAVE file past its 32-bit sizes; what
// was written before stays a complete file.
class EWaveFileFull : public EACMError {
public:
    using EACMError::EACMError;
};
