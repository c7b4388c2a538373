// CPU cost of recording: one eighth of a second of 44.1 kHz 16-bit stereo capture per
// iteration, through the recording converter into the WAVE writer and through the
// level source, which rebuilds its chain for every buffer. "core%" is the share of
// one core that a second of recording takes.
#include "acmapi.h"
#include "deAudioControls.h"
#include "deAudioStreams.h"
#include "simulatedwavein.h"

#include <QBuffer>
#include <QCoreApplication>
#include <benchmark/benchmark.h>
#include <memory>

namespace {

constexpr uint32_t kCaptureRate = 44100;
// The recorder's buffer: a second's bytes div 8, plus 4, in whole frames.
constexpr int kBufferBytes = (kCaptureRate * 4 / 8 + 4) / 4 * 4;

class TCapture : public TdeAudioComponent {
public:
    TCapture() : subject(this, &format) { format.SetPCM(kCaptureRate, 16, 2); }
    IdeAudioSubject *QueryAudioSubject() override { return &subject; }
    TdeWaveFormat format;
    TdeAudioSubject subject;
};

TdeWaveFormat RecordFormat(int index)
{
    TdeWaveFormat format;
    auto suggested = [&](uint16_t tag, uint32_t rate, uint16_t channels) {
        TdeWaveFormat pcm;
        pcm.SetPCM(rate, 16, channels);
        format.SetFormatTag(tag);
        acmFormatSuggest(pcm.Data(), format.Data(), TdeWaveFormat::ImageSize, ACM_FORMATSUGGESTF_WFORMATTAG);
    };
    switch (index) {
    case 0: format.SetDefault(); break;                     // PCM 11025 Hz 8-bit stereo
    case 1: format.SetPCM(8000, 16, 1); break;
    case 2: format.SetPCM(44100, 16, 2); break;
    case 3: suggested(WAVE_FORMAT_ALAW, 8000, 1); break;
    case 4: suggested(WAVE_FORMAT_MULAW, 8000, 1); break;
    case 5: suggested(WAVE_FORMAT_IMA_ADPCM, 11025, 1); break;
    case 6: suggested(WAVE_FORMAT_GSM610, 8000, 1); break;
    case 7: suggested(WAVE_FORMAT_MPEGLAYER3, 22050, 1); break;
    default: suggested(WAVE_FORMAT_MPEGLAYER3, 44100, 2); break;
    }
    return format;
}

const char *const kNames[] = {"pcm_11k_8bit_stereo", "pcm_8k_16bit_mono", "pcm_44k_16bit_stereo",
                              "alaw_8k",             "mulaw_8k",          "ima_adpcm_11k",
                              "gsm610_8k",           "mp3_22k_mono",      "mp3_44k_stereo"};

void BM_RecordingPath(benchmark::State &state)
{
    // Ten seconds of the virtual input's speech-like signal, pushed in capture buffers.
    TCapture capture;
    TSimulatedSignal signal;
    WAVEFORMATEX captureFormat = *capture.format.Data();
    const int buffers = 80;
    QByteArray audio(kBufferBytes * buffers, '\0');
    signal.Render(captureFormat, 0, audio.data(), uint32_t(audio.size() / 4));

    TdeAudioConvertor convertor;
    convertor.FormatOut().Assign(RecordFormat(int(state.range(0))));
    convertor.SetAudioSource(&capture);
    convertor.FormatIn().Assign(capture.format);
    convertor.Open();
    QBuffer file;
    file.open(QIODevice::ReadWrite);
    auto writer = std::make_unique<TdeRIFFAudioWriter>(&file);
    writer->SetFormat(convertor.FormatOut());
    convertor.OnAudioConverted = [&](QObject *, const void *data, int size, bool &) { writer->Write(data, size); };
    TdeAudioControlSource level;
    level.SetAudioSource(&capture);

    int next = 0;
    int64_t pushed = 0;
    for (auto _ : state) {
        capture.subject.Notify(&capture.subject, audio.constData() + next * kBufferBytes, kBufferBytes);
        next = (next + 1) % buffers;
        ++pushed;
        if (file.size() > (64 << 20)) {
            state.PauseTiming();
            writer.reset();
            file.buffer().clear();
            file.seek(0);
            writer = std::make_unique<TdeRIFFAudioWriter>(&file);
            writer->SetFormat(convertor.FormatOut());
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(level.PeakLeft());
    }
    const double audioSeconds = double(pushed) * kBufferBytes / (kCaptureRate * 4.0);
    state.counters["audio_s"] = audioSeconds;
    // CPU seconds per audio second, as a percentage of one core.
    state.counters["core%"] = benchmark::Counter(audioSeconds / 100.0, benchmark::Counter::kIsRate |
                                                                           benchmark::Counter::kInvert);
    state.SetLabel(kNames[state.range(0)]);
    level.SetAudioSource(nullptr);
    convertor.SetAudioSource(nullptr);
}
BENCHMARK(BM_RecordingPath)->DenseRange(0, 8)->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);

// The level source alone: its share of every path above.
void BM_LevelSourceOnly(benchmark::State &state)
{
    TCapture capture;
    TSimulatedSignal signal;
    QByteArray audio(kBufferBytes, '\0');
    signal.Render(*capture.format.Data(), 44100, audio.data(), uint32_t(audio.size() / 4));
    TdeAudioControlSource level;
    level.SetAudioSource(&capture);
    int64_t pushed = 0;
    for (auto _ : state) {
        capture.subject.Notify(&capture.subject, audio.constData(), kBufferBytes);
        ++pushed;
        benchmark::DoNotOptimize(level.PeakLeft());
    }
    const double audioSeconds = double(pushed) * kBufferBytes / (kCaptureRate * 4.0);
    state.counters["core%"] = benchmark::Counter(audioSeconds / 100.0, benchmark::Counter::kIsRate |
                                                                           benchmark::Counter::kInvert);
    level.SetAudioSource(nullptr);
}
BENCHMARK(BM_LevelSourceOnly)->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);

} // namespace

