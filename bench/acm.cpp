// Throughput of each conversion driver and of the recording chain (44 100 Hz 16-bit
// stereo capture to each record format), as a multiple of real time, next to the same
// work done by calling the codec libraries directly on the same data.
#include <benchmark/benchmark.h>

#include <gsm.h>
#include <lame/lame.h>
#include <soxr.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "acmapi.h"
#include "deACM.h"
#include "g711.h"
#include "imaadpcm.h"

namespace {

constexpr double kSeconds = 10.0;

std::vector<int16_t> Signal(int rate, int channels)
{
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0, 1);
    const int n = int(rate * kSeconds);
    std::vector<int16_t> out(size_t(n) * channels);
    double phase = 0;
    for (int i = 0; i < n; ++i) {
        const double t = double(i) / rate;
        phase += 2 * M_PI * (200 + 2800 * std::fmod(t, 2.0) / 2.0) / rate;
        for (int c = 0; c < channels; ++c)
            out[size_t(i) * channels + c] =
                int16_t(std::lround(9000 * std::sin(phase + c) + 1500 * noise(random) * (0.5 + 0.5 * std::sin(8 * t))));
    }
    return out;
}

const std::vector<int16_t> &Capture44k()
{
    static const std::vector<int16_t> s = Signal(44100, 2);
    return s;
}
const std::vector<int16_t> &Capture8k()
{
    static const std::vector<int16_t> s = Signal(8000, 1);
    return s;
}

enum Record { kPcm8k, kAlaw, kUlaw, kIma, kGsm, kMp3, kIma44k, kMp344k };
const char *kNames[] = {"PCM8k16mono", "Alaw8k", "Ulaw8k", "IMA8k", "GSM", "MP3_8k16kbit", "IMA44kStereo",
                        "MP3_44k128kbit"};

TdeWaveFormat RecordFormat(int record)
{
    TdeWaveFormat pcm;
    if (record == kIma44k || record == kMp344k)
        pcm.SetPCM(44100, 16, 2);
    else
        pcm.SetPCM(8000, 16, 1);
    if (record == kPcm8k)
        return pcm;
    const uint16_t tags[] = {0, WAVE_FORMAT_ALAW, WAVE_FORMAT_MULAW, WAVE_FORMAT_IMA_ADPCM, WAVE_FORMAT_GSM610,
                             WAVE_FORMAT_MPEGLAYER3, WAVE_FORMAT_IMA_ADPCM, WAVE_FORMAT_MPEGLAYER3};
    TdeWaveFormat f(pcm);
    f.SetFormatTag(tags[record]);
    acmFormatSuggest(pcm.Data(), f.Data(), 512, ACM_FORMATSUGGESTF_WFORMATTAG);
    if (record == kMp344k) {
        f.SetAvgBytesPerSec(128000 / 8);
    }
    return f;
}

// fullChain: capture 44 100 Hz stereo; otherwise the PCM the record format takes.
void RunChain(benchmark::State &state, int record, bool fullChain)
{
    const TdeWaveFormat out = RecordFormat(record);
    TdeWaveFormat in;
    in.SuggestPCMFrom(out);
    if (fullChain)
        in.SetPCM(44100, 16, 2);
    const std::vector<int16_t> &data = (in.SamplesPerSec() == 44100) ? Capture44k() : Capture8k();
    const int chunk = int(in.AvgBytesPerSec() / 8 / in.BlockAlign() * in.BlockAlign());
    const int total = int(data.size() * 2);
    size_t produced = 0;
    for (auto _ : state) {
        TdeAudioConvertor c;
        c.SetFormatIn(in);
        c.SetFormatOut(out);
        c.OnAudioConverted = [&](QObject *, const void *, int n, bool &) { produced += size_t(n); };
        c.Open();
        const auto *bytes = reinterpret_cast<const char *>(data.data());
        for (int pos = 0; pos + chunk <= total; pos += chunk)
            c.Convert(bytes + pos, chunk);
    }
    benchmark::DoNotOptimize(produced);
    state.counters["xRealTime"] = benchmark::Counter(kSeconds * double(state.iterations()), benchmark::Counter::kIsRate);
}

// The same work through the libraries: mix down and resample with the resampler,
// then encode with the codec, in the same 1/8 s pieces.
void RunDirect(benchmark::State &state, int record, bool fullChain)
{
    const TdeWaveFormat out = RecordFormat(record);
    const int rate = int(out.SamplesPerSec());
    const int channels = out.Channels();
    const bool resample = fullChain && rate != 44100;
    const std::vector<int16_t> &data = (fullChain || rate == 44100) ? Capture44k() : Capture8k();
    const int inChannels = (fullChain || rate == 44100) ? 2 : 1;
    const int inRate = (fullChain || rate == 44100) ? 44100 : 8000;
    const int chunkFrames = inRate / 8;
    size_t produced = 0;
    for (auto _ : state) {
        soxr_t rs = nullptr;
        if (resample) {
            soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
            io.flags |= SOXR_NO_DITHER;
            soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, SOXR_LINEAR_PHASE);
            quality.passband_end = 0.95;
            const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
            rs = soxr_create(44100, rate, unsigned(channels), nullptr, &io, &quality, &runtime);
        }
        gsm g = nullptr;
        if (record == kGsm) {
            g = gsm_create();
            int one = 1;
            gsm_option(g, GSM_OPT_WAV49, &one);
        }
        lame_global_flags *lame = nullptr;
        if (record == kMp3 || record == kMp344k) {
            lame = lame_init();
            lame_set_num_channels(lame, channels);
            lame_set_mode(lame, channels == 1 ? MONO : JOINT_STEREO);
            lame_set_in_samplerate(lame, rate);
            lame_set_out_samplerate(lame, rate);
            lame_set_brate(lame, int(out.AvgBytesPerSec() / 125));
            lame_set_bWriteVbrTag(lame, 0);
            lame_set_quality(lame, 5);
            lame_init_params(lame);
        }
        imaadpcm::ChannelState ima[2];
        const int spb = record == kIma || record == kIma44k ? imaadpcm::SamplesPerBlock(out.BlockAlign(), channels) : 0;
        std::vector<int16_t> mixed, pending;
        std::vector<int16_t> resampled(size_t(chunkFrames) * 2 + 64);
        std::vector<uint8_t> coded(1 << 20);
        for (size_t pos = 0; pos + size_t(chunkFrames) * inChannels <= data.size(); pos += size_t(chunkFrames) * inChannels) {
            const int16_t *frames = data.data() + pos;
            int n = chunkFrames;
            const int16_t *pcm = frames;
            if (inChannels == 2 && channels == 1) {
                mixed.resize(size_t(n));
                for (int i = 0; i < n; ++i)
                    mixed[size_t(i)] = int16_t((frames[2 * i] + frames[2 * i + 1]) >> 1);
                pcm = mixed.data();
            }
            if (rs) {
                size_t inLen = 0, outLen = 0;
                soxr_process(rs, pcm, size_t(n), &inLen, resampled.data(), resampled.size() / size_t(channels), &outLen);
                pcm = resampled.data();
                n = int(outLen);
            }
            pending.insert(pending.end(), pcm, pcm + size_t(n) * channels);
            size_t used = 0;
            switch (record) {
            case kPcm8k:
                produced += pending.size() * 2;
                used = pending.size();
                break;
            case kAlaw:
            case kUlaw:
                for (size_t i = 0; i < pending.size(); ++i)
                    coded[i] = record == kAlaw ? g711::LinearToAlaw(pending[i]) : g711::LinearToUlaw(pending[i]);
                produced += pending.size();
                used = pending.size();
                break;
            case kIma:
            case kIma44k:
                while (pending.size() - used >= size_t(spb) * channels) {
                    imaadpcm::EncodeBlock(pending.data() + used, channels, spb, ima, coded.data());
                    used += size_t(spb) * channels;
                    produced += out.BlockAlign();
                }
                break;
            case kGsm:
                while (pending.size() - used >= 320) {
                    gsm_encode(g, pending.data() + used, coded.data());
                    gsm_encode(g, pending.data() + used + 160, coded.data() + 32);
                    used += 320;
                    produced += 65;
                }
                break;
            default: {
                const int samples = int(pending.size()) / channels;
                const int w = channels == 2
                    ? lame_encode_buffer_interleaved(lame, pending.data(), samples, coded.data(), int(coded.size()))
                    : lame_encode_buffer(lame, pending.data(), pending.data(), samples, coded.data(), int(coded.size()));
                produced += size_t(std::max(w, 0));
                used = size_t(samples) * channels;
            }
            }
            pending.erase(pending.begin(), pending.begin() + ptrdiff_t(used));
        }
        if (rs)
            soxr_delete(rs);
        if (g)
            gsm_destroy(g);
        if (lame)
            lame_close(lame);
    }
    benchmark::DoNotOptimize(produced);
    state.counters["xRealTime"] = benchmark::Counter(kSeconds * double(state.iterations()), benchmark::Counter::kIsRate);
}

void Register()
{
    for (int r = kPcm8k; r <= kMp344k; ++r) {
        const std::string name = kNames[r];
        if (r != kPcm8k) { // PCM into the same PCM is no driver work
            benchmark::RegisterBenchmark(("Driver/" + name + "/chain").c_str(), RunChain, r, false)->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(("Driver/" + name + "/direct").c_str(), RunDirect, r, false)->Unit(benchmark::kMillisecond);
        }
        benchmark::RegisterBenchmark(("Capture44kStereo/" + name + "/chain").c_str(), RunChain, r, true)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Capture44kStereo/" + name + "/direct").c_str(), RunDirect, r, true)->Unit(benchmark::kMillisecond);
    }
}

} // namespace

int main(int argc, char **argv)
{
    Register();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
