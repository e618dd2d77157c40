#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "audio/file_writer.h"
#include "tests/audio/decoded_file.h"

namespace {

namespace fs = std::filesystem;
using audio::FileOpenError;
using audio::FileWriter;
using audio::RecordFormat;

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "file_writer_test.XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        for (const auto &e : fs::recursive_directory_iterator(path_, ec))
            fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }
    std::string operator/(const std::string &name) const { return (path_ / name).string(); }
    const fs::path &path() const { return path_; }

private:
    fs::path path_;
};

// A test signal: a sine per channel, one louder than full scale so that
// clipping shows, and a NaN now and then.
float testSample(std::size_t frame, int channel, uint32_t rate) {
    if (frame % 997 == 5)
        return std::numeric_limits<float>::quiet_NaN();
    const double t = static_cast<double>(frame) / rate;
    const double f = channel == 0 ? 440.0 : 1000.0 + 100.0 * channel;
    const double amplitude = channel == 1 ? 1.3 : 0.8;
    return static_cast<float>(amplitude * std::sin(2 * std::numbers::pi * f * t));
}

std::vector<float> testSignal(std::size_t frames, int channels, uint32_t rate,
                              std::size_t firstFrame = 0) {
    std::vector<float> s(frames * static_cast<std::size_t>(channels));
    for (std::size_t n = 0; n < frames; ++n)
        for (int c = 0; c < channels; ++c)
            s[n * channels + c] = testSample(firstFrame + n, c, rate);
    return s;
}

// What a float sample becomes in a 16-bit file, as a float again.
float quantised(float x) {
    if (std::isnan(x))
        return 0.0f;
    const double v = std::min(32767.0, std::round(std::clamp(x, -1.0f, 1.0f) * 32768.0));
    return static_cast<float>(v / 32768.0);
}

struct WavFile {
    uint32_t riffSize = 0;
    uint16_t format = 0, channels = 0, bitsPerSample = 0, blockAlign = 0;
    uint32_t sampleRate = 0, byteRate = 0, dataSize = 0;
    uint64_t fileSize = 0;
    std::vector<int16_t> samples; // the data chunk as the header bounds it
};

uint32_t le32(const unsigned char *p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t le16(const unsigned char *p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

// Reads a file as this writer lays it out, checking the fixed fields.
std::optional<WavFile> readWav(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<unsigned char> b((std::istreambuf_iterator<char>(in)),
                                       std::istreambuf_iterator<char>());
    if (b.size() < 44 || std::memcmp(b.data(), "RIFF", 4) != 0 ||
        std::memcmp(b.data() + 8, "WAVEfmt ", 8) != 0 || le32(&b[16]) != 16 ||
        std::memcmp(b.data() + 36, "data", 4) != 0)
        return std::nullopt;
    WavFile w;
    w.fileSize = b.size();
    w.riffSize = le32(&b[4]);
    w.format = le16(&b[20]);
    w.channels = le16(&b[22]);
    w.sampleRate = le32(&b[24]);
    w.byteRate = le32(&b[28]);
    w.blockAlign = le16(&b[32]);
    w.bitsPerSample = le16(&b[34]);
    w.dataSize = le32(&b[40]);
    if (44 + uint64_t(w.dataSize) > b.size())
        return std::nullopt;
    for (std::size_t i = 0; i + 1 < w.dataSize; i += 2)
        w.samples.push_back(static_cast<int16_t>(le16(&b[44 + i])));
    return w;
}

// A header that agrees with itself and with the file.
void expectConsistent(const WavFile &w, uint32_t rate, int channels) {
    EXPECT_EQ(w.format, 1);
    EXPECT_EQ(w.channels, channels);
    EXPECT_EQ(w.sampleRate, rate);
    EXPECT_EQ(w.bitsPerSample, 16);
    EXPECT_EQ(w.blockAlign, 2 * channels);
    EXPECT_EQ(w.byteRate, rate * 2 * channels);
    EXPECT_EQ(w.riffSize, 36 + w.dataSize);
    EXPECT_EQ(w.dataSize % w.blockAlign, 0u);
}

void expectContent(const WavFile &w, int channels, uint32_t rate) {
    const std::size_t frames = w.samples.size() / channels;
    const std::vector<float> ref = testSignal(frames, channels, rate);
    for (std::size_t i = 0; i < w.samples.size(); ++i)
        if (w.samples[i] / 32768.0f != quantised(ref[i])) {
            ADD_FAILURE() << "sample " << i << " is " << w.samples[i];
            return;
        }
}

// Pushes `frames` of the test signal in output-callback sized blocks;
// returns how many the writer took.
std::size_t pushTestSignal(FileWriter &w, std::size_t frames, std::size_t firstFrame = 0) {
    constexpr std::size_t kBlock = 512;
    std::size_t taken = 0;
    for (std::size_t at = 0; at < frames; at += kBlock) {
        const std::size_t n = std::min(kBlock, frames - at);
        const std::vector<float> block =
            testSignal(n, w.Channels(), w.SampleRate(), firstFrame + at);
        taken += w.Push(block.data(), n);
    }
    return taken;
}

template <typename Predicate> bool waitFor(Predicate done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

struct FormatCase {
    uint32_t rate;
    int channels;
    double seconds;
};

class WavWriterRoundTrip : public testing::TestWithParam<FormatCase> {};

TEST_P(WavWriterRoundTrip, DecodesBackToTheSameLengthAndContent) {
    const FormatCase c = GetParam();
    TempDir dir;
    const std::string path = dir / "out.wav";
    auto opened = FileWriter::Open(RecordFormat::kWav, path.c_str(), c.rate, c.channels);
    ASSERT_NE(opened.writer, nullptr) << static_cast<int>(opened.error);
    EXPECT_EQ(opened.error, FileOpenError::kNone);
    const auto frames = static_cast<std::size_t>(c.seconds * c.rate);
    EXPECT_EQ(pushTestSignal(*opened.writer, frames), frames);
    opened.writer->Close();
    EXPECT_TRUE(opened.writer->IsClosed());
    EXPECT_EQ(opened.writer->WriteError(), 0);
    EXPECT_EQ(opened.writer->FramesWritten(), frames);
    EXPECT_EQ(opened.writer->DroppedFrames(), 0u);

    const auto decoded = audiotest::DecodeFile(path);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->codec, "pcm_s16le");
    EXPECT_EQ(decoded->sampleRate, static_cast<int>(c.rate));
    EXPECT_EQ(decoded->channels, c.channels);
    const std::vector<float> ref = testSignal(frames, c.channels, c.rate);
    ASSERT_EQ(decoded->samples.size(), ref.size());
    std::size_t off = 0;
    for (std::size_t i = 0; i < ref.size(); ++i) {
        const float expected = std::isnan(ref[i]) ? 0.0f : std::clamp(ref[i], -1.0f, 1.0f);
        if (std::fabs(decoded->samples[i] - expected) > 1.0f / 32768 + 1e-7f)
            ++off;
    }
    EXPECT_EQ(off, 0u) << "samples further than one 16-bit step from the input";

    const auto wav = readWav(path);
    ASSERT_TRUE(wav.has_value());
    expectConsistent(*wav, c.rate, c.channels);
    EXPECT_EQ(wav->fileSize, 44 + wav->dataSize);
    // Rounded to the nearest step, clipped at full scale.
    expectContent(*wav, c.channels, c.rate);
}

INSTANTIATE_TEST_SUITE_P(Formats, WavWriterRoundTrip,
                         testing::Values(FormatCase{44100, 2, 1.5}, FormatCase{22050, 1, 1.0},
                                         FormatCase{48000, 6, 0.5}, FormatCase{44100, 2, 0.0}));

TEST(WavWriter, DestructorClosesTheFile) {
    TempDir dir;
    const std::string path = dir / "out.wav";
    {
        auto opened = FileWriter::Open(RecordFormat::kWav, path.c_str(), 44100, 2);
        ASSERT_NE(opened.writer, nullptr);
        pushTestSignal(*opened.writer, 10000);
    }
    const auto wav = readWav(path);
    ASSERT_TRUE(wav.has_value());
    expectConsistent(*wav, 44100, 2);
    EXPECT_EQ(wav->dataSize, 10000u * 4);
    expectContent(*wav, 2, 44100);
}

TEST(WavWriter, ReplacesAnExistingFile) {
    TempDir dir;
    const std::string path = dir / "old.wav";
    std::ofstream(path) << std::string(100000, 'x');
    auto opened = FileWriter::Open(RecordFormat::kWav, path.c_str(), 44100, 2);
    ASSERT_NE(opened.writer, nullptr);
    pushTestSignal(*opened.writer, 100);
    opened.writer->Close();
    const auto wav = readWav(path);
    ASSERT_TRUE(wav.has_value());
    EXPECT_EQ(wav->fileSize, 44u + 400u);
    expectContent(*wav, 2, 44100);
}

TEST(WavWriter, CountsWhatAFullRingDrops) {
    TempDir dir;
    const std::string path = dir / "out.wav";
    auto opened =
        FileWriter::Open(RecordFormat::kWav, path.c_str(), 44100, 2, {.ringSeconds = 0.01});
    ASSERT_NE(opened.writer, nullptr);
    const std::vector<float> block = testSignal(10000, 2, 44100);
    const std::size_t taken = opened.writer->Push(block.data(), 10000);
    EXPECT_GT(taken, 0u);
    EXPECT_LT(taken, 10000u);
    EXPECT_EQ(opened.writer->DroppedFrames(), 10000u - taken);
    opened.writer->Close();
    EXPECT_EQ(opened.writer->FramesWritten(), taken);
    // After Close nothing is taken, and nothing breaks.
    EXPECT_EQ(opened.writer->Push(block.data(), 100), 0u);
    EXPECT_EQ(opened.writer->DroppedFrames(), 10100u - taken);
    const auto wav = readWav(path);
    ASSERT_TRUE(wav.has_value());
    EXPECT_EQ(wav->dataSize, taken * 4);
    expectContent(*wav, 2, 44100);
}

TEST(WavWriter, StopsCleanlyAtTheSizeLimit) {
    TempDir dir;
    const std::string path = dir / "out.wav";
    auto opened =
        FileWriter::Open(RecordFormat::kWav, path.c_str(), 44100, 2, {.maxDataBytes = 1002});
    ASSERT_NE(opened.writer, nullptr);
    FileWriter &w = *opened.writer;
    EXPECT_EQ(pushTestSignal(w, 1000), 1000u);
    ASSERT_TRUE(waitFor([&] { return w.WriteError() != 0; }, std::chrono::seconds(10)));
    EXPECT_EQ(w.WriteError(), EFBIG);
    EXPECT_EQ(pushTestSignal(w, 100), 0u);
    w.Close();
    EXPECT_EQ(w.FramesWritten(), 250u);
    const auto wav = readWav(path);
    ASSERT_TRUE(wav.has_value());
    expectConsistent(*wav, 44100, 2);
    EXPECT_EQ(wav->dataSize, 1000u);
    EXPECT_EQ(wav->fileSize, 1044u);
    expectContent(*wav, 2, 44100);
}

TEST(WavWriter, RefusesASecondWriterOnTheSameFile) {
    TempDir dir;
    const std::string path = dir / "out.wav";
    auto first = FileWriter::Open(RecordFormat::kWav, path.c_str(), 44100, 2);
    ASSERT_NE(first.writer, nullptr);
    pushTestSignal(*first.writer, 1000);
    const std::string otherSpelling = (dir.path() / "." / "out.wav").string();
    EXPECT_TRUE(first.writer->WritesFile(path.c_str()));
    EXPECT_TRUE(first.writer->WritesFile(otherSpelling.c_str()));
    EXPECT_FALSE(first.writer->WritesFile((dir / "other.wav").c_str()));
    EXPECT_FALSE(first.writer->WritesFile(nullptr));

    auto second = FileWriter::Open(RecordFormat::kWav, otherSpelling.c_str(), 44100, 2);
    EXPECT_EQ(second.writer, nullptr);
    EXPECT_EQ(second.error, FileOpenError::kAlreadyOpen);

    // The refused open did not truncate the file under the first writer.
    pushTestSignal(*first.writer, 1000, 1000);
    first.writer->Close();
    auto wav = readWav(path);
    ASSERT_TRUE(wav.has_value());
    EXPECT_EQ(wav->dataSize, 2000u * 4);
    expectContent(*wav, 2, 44100);

    // Once the first is closed, the file can be written again.
    auto third = FileWriter::Open(RecordFormat::kWav, path.c_str(), 44100, 2);
    EXPECT_NE(third.writer, nullptr);
}

struct BadPathCase {
    const char *name;
    // Relative to a fresh folder holding a file "file" and a folder "folder";
    // null for a null path.
    const char *path;
    FileOpenError error;
};

class WavWriterBadPath : public testing::TestWithParam<BadPathCase> {};

TEST_P(WavWriterBadPath, FailsAtOnceAndCreatesNothing) {
    const BadPathCase c = GetParam();
    TempDir dir;
    std::ofstream(dir / "file") << "keep";
    fs::create_directory(dir.path() / "folder");
    std::string path;
    if (c.path != nullptr)
        path = c.path[0] == '/' || c.path[0] == '\0' ? std::string(c.path) : dir / c.path;
    const auto result =
        FileWriter::Open(RecordFormat::kWav, c.path == nullptr ? nullptr : path.c_str(), 44100, 2);
    EXPECT_EQ(result.writer, nullptr);
    EXPECT_EQ(result.error, c.error);
    EXPECT_NE(result.sysError, 0);
    std::vector<std::string> entries;
    for (const auto &e : fs::directory_iterator(dir.path()))
        entries.push_back(e.path().filename().string());
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (std::vector<std::string>{"file", "folder"}));
    std::ifstream kept(dir / "file");
    std::string text;
    kept >> text;
    EXPECT_EQ(text, "keep");
}

INSTANTIATE_TEST_SUITE_P(
    Paths, WavWriterBadPath,
    testing::Values(BadPathCase{"NoFolder", "missing/out.wav", FileOpenError::kNoFolder},
                    BadPathCase{"FileAsFolder", "file/out.wav", FileOpenError::kNoFolder},
                    BadPathCase{"Folder", "folder", FileOpenError::kIsFolder},
                    BadPathCase{"FolderWithSlash", "folder/", FileOpenError::kIsFolder},
                    BadPathCase{"Device", "/dev/null", FileOpenError::kNotAFile},
                    BadPathCase{"Empty", "", FileOpenError::kInvalidArgument},
                    BadPathCase{"Null", nullptr, FileOpenError::kInvalidArgument}),
    [](const auto &param) { return std::string(param.param.name); });

TEST(WavWriter, RejectsArgumentsOutOfRange) {
    TempDir dir;
    const std::string path = dir / "out.wav";
    const std::pair<uint32_t, int> formats[] = {{0, 2},     {999, 2},   {768001, 2},
                                                {44100, 0}, {44100, 9}, {44100, -1}};
    for (const auto &[rate, channels] : formats) {
        const auto result = FileWriter::Open(RecordFormat::kWav, path.c_str(), rate, channels);
        EXPECT_EQ(result.writer, nullptr) << rate << " Hz, " << channels;
        EXPECT_EQ(result.error, FileOpenError::kInvalidArgument);
    }
    for (const double seconds : {0.0, -1.0, std::nan(""), 1e12}) {
        const auto result =
            FileWriter::Open(RecordFormat::kWav, path.c_str(), 44100, 2, {.ringSeconds = seconds});
        EXPECT_EQ(result.writer, nullptr) << seconds << " s";
        EXPECT_EQ(result.error, FileOpenError::kInvalidArgument);
    }
    EXPECT_FALSE(fs::exists(path));
}

// Runs `body` in a child process and returns its exit status (or -1).
template <typename Body> int inChild(Body body) {
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(body());
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

TEST(WavWriter, FailsInAReadOnlyFolder) {
    TempDir dir;
    fs::create_directory(dir.path() / "ro");
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::others_exec);
    fs::permissions(dir.path() / "ro", fs::perms::owner_read | fs::perms::owner_exec |
                                           fs::perms::others_read | fs::perms::others_exec);
    const std::string path = dir / "ro/out.wav";
    // The superuser may write anywhere; the check runs as an ordinary user.
    const int status = inChild([&] {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            return 10;
        const auto result = FileWriter::Open(RecordFormat::kWav, path.c_str(), 44100, 2);
        if (result.writer != nullptr)
            return 11;
        return result.error == FileOpenError::kAccessDenied ? 0 : 12;
    });
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(fs::exists(path));
}

TEST(WavWriter, DiskFullLeavesAValidFileOfWhatFitted) {
    TempDir dir;
    const std::string path = dir / "out.wav";
    // A file size limit makes writes fail as on a full disk, mid-frame.
    constexpr rlim_t kLimit = 65536 + 3;
    const int status = inChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{kLimit, kLimit};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return 10;
        auto opened = FileWriter::Open(RecordFormat::kWav, path.c_str(), 44100, 2);
        if (opened.writer == nullptr)
            return 11;
        FileWriter &w = *opened.writer;
        // The producer carries on regardless.
        pushTestSignal(w, 44100);
        if (!waitFor([&] { return w.WriteError() != 0; }, std::chrono::seconds(10)))
            return 12;
        pushTestSignal(w, 44100, 44100);
        w.Close();
        return w.WriteError() == EFBIG && w.FramesWritten() == (kLimit - 44) / 4 ? 0 : 13;
    });
    ASSERT_EQ(status, 0);
    const auto wav = readWav(path);
    ASSERT_TRUE(wav.has_value());
    expectConsistent(*wav, 44100, 2);
    EXPECT_EQ(wav->dataSize, (kLimit - 44) / 4 * 4);
    EXPECT_EQ(wav->fileSize, 44 + wav->dataSize);
    expectContent(*wav, 2, 44100);
}

TEST(WavWriter, NormalExitFinalisesOpenWriters) {
    TempDir dir;
    const std::string path = dir / "out.wav";
    const int status = inChild([&] {
        auto opened = FileWriter::Open(RecordFormat::kWav, path.c_str(), 44100, 2);
        if (opened.writer == nullptr)
            return 11;
        pushTestSignal(*opened.writer, 44100);
        // Exits at once, with the writer open and its data not yet written.
        std::exit(0);
    });
    ASSERT_EQ(status, 0);
    const auto wav = readWav(path);
    ASSERT_TRUE(wav.has_value());
    expectConsistent(*wav, 44100, 2);
    EXPECT_EQ(wav->dataSize, 44100u * 4);
    expectContent(*wav, 2, 44100);
}

// A child that pushes the test signal in real time, as the output callback
// would, is killed once it has handed over `seconds`. Returns the frames it
// handed over before it died, 0 when it did not get that far.
uint64_t pushUntilKilled(RecordFormat format, const std::string &path, uint32_t rate,
                         double seconds) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return 0;
    const pid_t pid = ::fork();
    if (pid < 0)
        return 0;
    if (pid == 0) {
        ::close(pipeFds[0]);
        auto opened = FileWriter::Open(format, path.c_str(), rate, 2);
        if (opened.writer == nullptr)
            ::_exit(11);
        const auto start = std::chrono::steady_clock::now();
        uint64_t pushed = 0;
        for (;;) {
            const double elapsed =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            const auto due = static_cast<uint64_t>(elapsed * rate);
            if (due > pushed) {
                pushed += pushTestSignal(*opened.writer, due - pushed, pushed);
                if (::write(pipeFds[1], &pushed, sizeof pushed) != sizeof pushed)
                    ::_exit(12);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ::close(pipeFds[1]);
    const auto goal = static_cast<uint64_t>(seconds * rate);
    uint64_t pushed = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (pushed < goal && std::chrono::steady_clock::now() < deadline) {
        pollfd p{pipeFds[0], POLLIN, 0};
        if (::poll(&p, 1, 1000) > 0 && ::read(pipeFds[0], &pushed, sizeof pushed) <= 0)
            break;
    }
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    // The last count the child reported before it died.
    for (uint64_t later = 0; ::read(pipeFds[0], &later, sizeof later) == sizeof later;)
        pushed = later;
    ::close(pipeFds[0]);
    return WIFSIGNALED(status) && pushed >= goal ? pushed : 0;
}

TEST(WavWriter, KilledProcessLeavesAValidFileLackingAtMostTheLastSecond) {
    TempDir dir;
    const std::string path = dir / "out.wav";
    constexpr uint32_t kRate = 44100;
    const uint64_t pushed = pushUntilKilled(RecordFormat::kWav, path, kRate, 3.0);
    ASSERT_GT(pushed, 0u);

    const auto wav = readWav(path);
    ASSERT_TRUE(wav.has_value());
    expectConsistent(*wav, kRate, 2);
    const uint64_t inHeader = wav->dataSize / 4;
    EXPECT_LE(inHeader, pushed + kRate / 10);
    EXPECT_GE(inHeader + kRate, pushed);
    expectContent(*wav, 2, kRate);
}

// MP3 and Ogg Vorbis: lossy, so the checks are the length and the tones.
struct EncodedCase {
    const char *name;
    RecordFormat format;
    const char *file;
    const char *codec;
    // Decoded frames beyond those pushed: the encoder's delay and its last
    // frame's padding.
    std::size_t slackFrames;
    // How far a killed process's file may lag behind what was pushed.
    double killLagSeconds;
};

class EncodedFile : public testing::TestWithParam<EncodedCase> {
protected:
    // The test signal's tones, `frames` long within the slack.
    void expectTones(const std::string &path, std::size_t frames) {
        const EncodedCase &c = GetParam();
        audiotest::ExpectRecording(path, {c.codec, frames, c.slackFrames, {440.0, 1100.0}});
    }
};

TEST_P(EncodedFile, DecodesBackToTheTonesAtTheLengthPushed) {
    const EncodedCase &c = GetParam();
    TempDir dir;
    const std::string path = dir / c.file;
    auto opened = FileWriter::Open(c.format, path.c_str(), 44100, 2);
    ASSERT_NE(opened.writer, nullptr) << static_cast<int>(opened.error);
    FileWriter &w = *opened.writer;
    EXPECT_TRUE(w.IsWriting());
    constexpr std::size_t kFrames = 66150;
    EXPECT_EQ(pushTestSignal(w, kFrames), kFrames);
    EXPECT_EQ(w.FramesTaken(), kFrames);
    ASSERT_TRUE(waitFor([&] { return w.FramesWritten() == kFrames; }, std::chrono::seconds(10)));
    const uint64_t beforeClose = w.BytesWritten();
    w.Close();
    EXPECT_FALSE(w.IsWriting());
    EXPECT_EQ(w.WriteError(), 0);
    // Closing wrote what the encoder still held.
    EXPECT_GT(w.BytesWritten(), beforeClose);
    EXPECT_EQ(w.BytesWritten(), fs::file_size(path));
    expectTones(path, kFrames);
}

TEST_P(EncodedFile, NormalExitFinishesTheFile) {
    const EncodedCase &c = GetParam();
    TempDir dir;
    const std::string path = dir / c.file;
    const int status = inChild([&] {
        auto opened = FileWriter::Open(c.format, path.c_str(), 44100, 2);
        if (opened.writer == nullptr)
            return 11;
        pushTestSignal(*opened.writer, 44100);
        // Exits at once, with the writer open and its data not yet encoded.
        std::exit(0);
    });
    ASSERT_EQ(status, 0);
    expectTones(path, 44100);
}

TEST_P(EncodedFile, DiskFullStopsTheWriterAndLeavesAReadableFile) {
    const EncodedCase &c = GetParam();
    TempDir dir;
    const std::string path = dir / c.file;
    // A file size limit makes writes fail as on a full disk, mid-frame.
    constexpr rlim_t kLimit = 50000;
    const int status = inChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{kLimit, kLimit};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return 10;
        auto opened = FileWriter::Open(c.format, path.c_str(), 44100, 2);
        if (opened.writer == nullptr)
            return 11;
        FileWriter &w = *opened.writer;
        // A second at a time, each written before the next, until the limit.
        uint64_t pushed = 0;
        for (int second = 0; second < 10 && w.WriteError() == 0; ++second) {
            pushed += pushTestSignal(w, 44100, pushed);
            waitFor([&] { return w.FramesWritten() == pushed || w.WriteError() != 0; },
                    std::chrono::seconds(10));
        }
        if (w.WriteError() == 0)
            return 12;
        if (w.IsWriting() || pushTestSignal(w, 100) != 0)
            return 13;
        w.Close();
        return w.WriteError() == EFBIG && w.BytesWritten() == fs::file_size(path) ? 0 : 14;
    });
    ASSERT_EQ(status, 0);
    const auto size = fs::file_size(path);
    EXPECT_LE(size, kLimit);
    EXPECT_GT(size, kLimit / 2);
    const auto decoded = audiotest::DecodeFile(path);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->decodeErrors, 0);
    EXPECT_GT(decoded->Frames(), 4410u);
}

TEST_P(EncodedFile, KilledProcessLeavesAPlayableFile) {
    const EncodedCase &c = GetParam();
    TempDir dir;
    const std::string path = dir / c.file;
    const uint64_t pushed = pushUntilKilled(c.format, path, 44100, 3.0);
    ASSERT_GT(pushed, 0u);
    const auto decoded = audiotest::DecodeFile(path);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->decodeErrors, 0);
    EXPECT_LE(decoded->Frames(), pushed + c.slackFrames);
    EXPECT_GE(static_cast<double>(decoded->Frames()),
              static_cast<double>(pushed) - c.killLagSeconds * 44100);
    EXPECT_NEAR(audiotest::ToneFrequency(*decoded, 0, 4410, decoded->Frames() - 4410), 440.0, 1.0);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, EncodedFile,
    testing::Values(EncodedCase{"Mp3", RecordFormat::kMp3, "out.mp3", "mp3", 2 * 1152, 0.5},
                    EncodedCase{"Ogg", RecordFormat::kOgg, "out.ogg", "vorbis", 2048, 1.5}),
    [](const auto &param) { return std::string(param.param.name); });

} // namespace
