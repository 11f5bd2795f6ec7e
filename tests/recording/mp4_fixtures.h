#pragma once
// Fragmented MP4 files made by ffmpeg at test time: H.264 with B-frames and AAC encoded once,
// then stream-copied into each fragmented flavour, in a temporary folder removed at the end of
// the run. Also what ffprobe and ffmpeg say about a file, for comparing a finished file with the
// fragmented one it came from. Tests skip when ffmpeg is not installed.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace mp4_fixtures {

inline std::vector<std::uint8_t> readBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline std::string readText(const std::filesystem::path& path)
{
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::string quoted(const std::filesystem::path& path)
{
    return "\"" + path.string() + "\"";
}

class Workshop {
public:
    static Workshop& instance()
    {
        static Workshop workshop;
        return workshop;
    }

    bool hasFfmpeg() const noexcept { return ffmpegFound; }
    const std::filesystem::path& folder() const noexcept { return root; }

    // Runs a command with its output in a file of the folder; returns the exit code.
    int run(const std::string& command, std::string* output = nullptr)
    {
        const auto log = root / ("out" + std::to_string(++commands) + ".txt");
        const int code = std::system((command + " > " + quoted(log) + " 2>&1").c_str());
        if (output) {
            *output = readText(log);
        }
        std::filesystem::remove(log);
        return code;
    }

    // The source: 4 s of a moving test picture at 30 fps with a key frame every second and two
    // B-frames, and a tone, as an ordinary MP4.
    const std::filesystem::path& source()
    {
        if (sourcePath.empty()) {
            sourcePath = root / "source.mp4";
            run("ffmpeg -v error -y -f lavfi -i testsrc2=size=160x120:rate=30 -f lavfi "
                "-i sine=frequency=440:sample_rate=48000 -t 4 -c:v libx264 -preset ultrafast -bf 2 "
                "-g 30 -pix_fmt yuv420p -c:a aac -b:a 64k -shortest " +
                quoted(sourcePath));
        }
        return sourcePath;
    }

    // The source stream-copied with the given -movflags and extra options.
    std::filesystem::path fragmented(const std::string& movflags, const std::string& options = {})
    {
        const std::string key = movflags + options;
        auto found = flavours.find(key);
        if (found == flavours.end()) {
            const auto path = root / ("fragmented" + std::to_string(flavours.size()) + ".mp4");
            run("ffmpeg -v error -y -i " + quoted(source()) + " -c copy -movflags " + movflags +
                " " + options + " " + quoted(path));
            found = flavours.emplace(key, path).first;
        }
        return found->second;
    }

    Workshop(const Workshop&) = delete;
    Workshop& operator=(const Workshop&) = delete;

private:
    Workshop()
    {
        std::random_device random;
        root = std::filesystem::temp_directory_path() / ("orlimo-mp4-" + std::to_string(random()));
        std::filesystem::create_directories(root);
        std::string version;
        ffmpegFound = run("ffmpeg -hide_banner -encoders", &version) == 0 &&
                      version.find("libx264") != std::string::npos && run("ffprobe -version") == 0;
    }
    ~Workshop()
    {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }

    std::filesystem::path root;
    std::filesystem::path sourcePath;
    std::map<std::string, std::filesystem::path> flavours;
    bool ffmpegFound = false;
    int commands = 0;
};

// One line per packet, per stream in order: stream, pts and dts relative to the stream's first
// packet, size, key flag and MD5 of the data.
inline std::map<int, std::vector<std::string>> packets(const std::filesystem::path& file,
                                                       bool ignoreEditList = false)
{
    std::string listing;
    Workshop::instance().run(
        std::string("ffprobe -v error ") + (ignoreEditList ? "-ignore_editlist 1 " : "") +
            "-show_data_hash MD5 -show_entries packet=stream_index,pts,dts,size,flags,data_hash "
            "-of csv=p=0 " +
            quoted(file),
        &listing);
    std::map<int, std::vector<std::string>> streams;
    std::map<int, std::pair<long long, long long>> first;
    std::istringstream lines(listing);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string stream, pts, dts, size, flags, hash;
        std::getline(fields, stream, ',');
        std::getline(fields, pts, ',');
        std::getline(fields, dts, ',');
        std::getline(fields, size, ',');
        std::getline(fields, flags, ',');
        std::getline(fields, hash, ',');
        if (hash.empty()) {
            streams[-1].push_back(line); // not a packet line: kept so that a comparison fails
            continue;
        }
        const int index = std::stoi(stream);
        const long long ptsValue = pts == "N/A" ? 0 : std::stoll(pts);
        const long long dtsValue = dts == "N/A" ? 0 : std::stoll(dts);
        const auto [at, inserted] = first.try_emplace(index, ptsValue, dtsValue);
        std::string packet = std::to_string(ptsValue - at->second.first);
        packet += "," + std::to_string(dtsValue - at->second.second);
        packet += "," + size;
        packet += "," + flags.substr(0, 1);
        packet += "," + hash;
        streams[index].push_back(packet);
    }
    return streams;
}

// ffmpeg's framemd5 of the decoded video without its header lines, each frame's times made
// relative to the first frame's (ffmpeg places a file's start differently with and without
// fragments when composition offsets are negative).
inline std::vector<std::string> videoFrames(const std::filesystem::path& file)
{
    std::string listing;
    Workshop::instance().run("ffmpeg -v error -i " + quoted(file) + " -map 0:v -f framemd5 -",
                             &listing);
    std::vector<std::string> frames;
    std::istringstream lines(listing);
    std::string line;
    long long firstDts = 0;
    long long firstPts = 0;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::istringstream fields(line);
        std::string stream, dts, pts, rest;
        std::getline(fields, stream, ',');
        std::getline(fields, dts, ',');
        std::getline(fields, pts, ',');
        std::getline(fields, rest);
        if (frames.empty()) {
            firstDts = std::stoll(dts);
            firstPts = std::stoll(pts);
        }
        frames.push_back(std::to_string(std::stoll(dts) - firstDts) + "," +
                         std::to_string(std::stoll(pts) - firstPts) + "," + rest);
    }
    return frames;
}

// What ffmpeg reports while decoding the whole file; empty when it decodes cleanly.
inline std::string decodeErrors(const std::filesystem::path& file)
{
    std::string errors;
    const int code =
        Workshop::instance().run("ffmpeg -v error -i " + quoted(file) + " -f null -", &errors);
    return code == 0 ? errors : "exit code " + std::to_string(code) + ": " + errors;
}

} // namespace mp4_fixtures
