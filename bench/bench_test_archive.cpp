// Loading a full-size test: 254 questions and their pages, 5, 20, 50 and 100 MB unpacked (pages of
// 20 to 400 KB), from the file to a loaded question set as the test choice window does it, against
// Info-ZIP `unzip -p` (a process, as a user would run it) decrypting and inflating the same file
// to /dev/null; and the loader's peak memory against the unpacked size. Three archives: noise
// pages (random bytes, nothing for deflate to gain), photo pages (smooth shades with grain,
// deflate gains a little) and flat pages (text-like runs and zeros, as drawn documents are). The
// two are timed run against run, in turn, each round starting with the other one, and the ratio
// of each round is kept: the median and the minimum of those ratios are printed beside the goal.
// The machine may be busy with other work; a ratio of two runs taken back to back is far steadier
// than either time. A table of every size and kind of page with its goals ends the run.
//
//   bench_test_archive [ROUNDS] [--sizes MB,...]  generate, time both, measure memory (ROUNDS
//                                  defaults to 9; the sizes unpacked to 5,20,50,100)
//   bench_test_archive --load F KIND  (internal) load F once, after a 1 MB test of the same
//                                 KIND (noise, photo, flat), and print the peak memory growth
//   bench_test_archive --make DIR [MB]  write noise.tst, photo.tst and flat.tst of MB unpacked
//                                 (default 50) into DIR (to profile the loader or unzip on them
//                                 by hand)

#include "net/HostileClients.h"
#include "test/ArchivePassword.h"
#include "test/TestArchive.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <malloc.h>
#include <optional>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
#include <zip.h>

extern char** environ;

namespace {

using kvz::testing::statusKb;

constexpr int kQuestions = 254;
// The questions' pages, the introduction and the reference: WORD.doc holds 256 pages.
constexpr int kPages = kQuestions + 2;
constexpr int kDefaultSizes[] = {5, 20, 50, 100};
constexpr int kMaxSizeMb = 500; // the loader refuses a WORD.doc of more than 512 MB
constexpr double kMemoryGoal = 1.05;

// Runs argv (raw bytes: the password has bytes above 127) with stdout to /dev/null; seconds.
double runTimed(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool loadFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    kvz::ArchiveReadResult r = kvz::readTestArchive(kvz::fileSource(f), "");
    if (!r.archive)
        return false;
    kvz::QuestionSet set;
    kvz::RunState state;
    kvz::applyTestArchive(std::move(*r.archive), set, state);
    return set.size() == kQuestions;
}

enum class Pages { Noise, Photo, Flat };

const char* pagesName(Pages k) {
    return k == Pages::Noise ? "noise" : k == Pages::Photo ? "photo" : "flat";
}

// What the archive's entries hold unpacked, all of them (the pages in WORD.doc, the question
// list and the settings): what a loaded test holds. 0 when libzip cannot read it.
qint64 unpackedSize(const QByteArray& archive) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source =
        zip_source_buffer_create(archive.constData(), zip_uint64_t(archive.size()), 0, &error);
    zip_t* zip = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
    zip_error_fini(&error);
    if (!zip) {
        zip_source_free(source);
        return 0;
    }
    qint64 total = 0;
    for (zip_int64_t i = 0; i < zip_get_num_entries(zip, 0); ++i) {
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(zip, zip_uint64_t(i), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE)) {
            total = 0;
            break;
        }
        total += qint64(st.size);
    }
    zip_discard(zip);
    return total;
}

// Writes the test archive of about sizeMb MB unpacked to path; returns its unpacked size (every
// entry), or 0.
qint64 makeArchive(const QString& path, Pages kind, int sizeMb) {
    // 50 MB gives pages of 200 KB.
    const int pageBytes = sizeMb * (1 << 20) / kPages;
    const bool compressible = kind == Pages::Flat;
    std::mt19937 gen(kind == Pages::Flat ? 11 : kind == Pages::Photo ? 5 : 7);
    static const char* words[] = {"Root Entry", "CompObj", "Ole10Native",  "Contents",
                                  "\x01Ole",    "EMF+",    "WordDocument", "SummaryInformation"};
    kvz::TestArchive a;
    auto piece = [&](int size) {
        QByteArray p("BDOC\x01\0\0\0", 8);
        const auto n = std::uint32_t(size);
        p.append(reinterpret_cast<const char*>(&n), 4);
        p.resize(12 + size);
        if (kind == Pages::Photo) {
            // 24-bit pixels, 1280 to a row: a shade that drifts along the row and down the
            // page, with a grain of a few levels on top.
            for (int i = 12; i < p.size(); ++i) {
                const int px = (i - 12) / 3, x = px % 1280, y = px / 1280;
                const int channel = (i - 12) % 3;
                const int shade = (x / 5 + y * 2 + channel * 40) & 0xFF;
                p[i] = char(std::clamp(shade + int(gen() % 7) - 3, 0, 255));
            }
            return p;
        }
        if (!compressible) {
            for (int i = 12; i < p.size(); i += 4) {
                const std::uint32_t v = gen();
                std::memcpy(p.data() + i, &v, std::min<std::size_t>(4, std::size_t(p.size() - i)));
            }
            return p;
        }
        // Runs of zeros, names and small numbers: deflate packs them several to one.
        qsizetype i = 12;
        while (i < p.size()) {
            const std::uint32_t v = gen();
            qsizetype run;
            if (v % 3 == 0) {
                run = qsizetype(v >> 8) % 64;
                std::memset(p.data() + i, 0, std::size_t(std::min(run, p.size() - i)));
            } else if (v % 3 == 1) {
                const char* w = words[(v >> 8) % 8];
                run = qsizetype(std::strlen(w));
                std::memcpy(p.data() + i, w, std::size_t(std::min(run, p.size() - i)));
            } else {
                run = 4;
                const std::uint32_t x = gen() & 0x00FF0FFF;
                std::memcpy(p.data() + i, &x, std::size_t(std::min(run, p.size() - i)));
            }
            i += run;
        }
        return p;
    };
    for (int k = 0; k < kQuestions; ++k) {
        kvz::TQuestionRec q;
        q.kindText.assign(1, k < 200 ? 'A' : k < 230 ? 'B' : 'D');
        q.choiceCount = 3;
        q.body = piece(pageBytes);
        a.questions.push_back(std::move(q));
    }
    a.introduction = piece(pageBytes);
    a.reference = piece(pageBytes);
    a.settings.questionTime = 60.0 / 86400;
    auto bytes = kvz::writeTestArchive(a, "", {"bench", "9", "s", "t"});
    QFile f(path);
    if (!bytes || !f.open(QIODevice::WriteOnly) || f.write(*bytes) != bytes->size())
        return 0;
    return unpackedSize(*bytes);
}

// The peak memory growth of loading path, in KB. A 1 MB test of the same kind is loaded first
// and let go: the code the loader runs, its thread and the allocator's own tables are then in
// place, as they are in the program from its first test on, and the figure is what this test's
// size adds.
int loadOnce(const QString& path, Pages kind) {
    QTemporaryDir dir;
    const QString warmUp = dir.filePath(QStringLiteral("warm-up.tst"));
    if (makeArchive(warmUp, kind, 1) == 0 || !loadFile(warmUp))
        return 1;
    ::malloc_trim(0);
    // Writing 5 to clear_refs resets VmHWM to the present resident size.
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (!clear.open(QIODevice::WriteOnly) || clear.write("5") != 1)
        return 1;
    clear.close();
    const long before = statusKb(::getpid(), "VmRSS:");
    if (!loadFile(path))
        return 1;
    std::printf("%ld\n", statusKb(::getpid(), "VmHWM:") - before);
    return 0;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// What one size and kind of page gave, for the table at the end.
struct CaseResult {
    int sizeMb;
    Pages kind;
    double medianRatio, minRatio, goal, memoryRatio;
};

std::optional<CaseResult> runCase(const char* argv0, const QString& path, Pages kind, int sizeMb,
                                  int rounds) {
    const qint64 unpacked = makeArchive(path, kind, sizeMb);
    if (unpacked == 0) {
        std::fputs("cannot write the archive\n", stderr);
        return std::nullopt;
    }
    const double archiveMb = double(QFile(path).size()) / (1 << 20);
    const double unpackedMb = double(unpacked) / (1 << 20);
    std::printf("\n%s pages: %d questions, archive %.1f MB, unpacked %.1f MB\n", pagesName(kind),
                kQuestions, archiveMb, unpackedMb);

    std::vector<double> loads, unzips, ratios;
    const std::string file = path.toStdString();
    for (int round = 0; round < rounds; ++round) {
        double load = -1, unzip = -1;
        for (int turn = 0; turn < 2; ++turn) {
            if ((turn == 0) == (round % 2 == 0)) {
                const auto start = std::chrono::steady_clock::now();
                if (!loadFile(path)) {
                    std::fputs("the archive did not load\n", stderr);
                    return std::nullopt;
                }
                load =
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            } else {
                unzip = runTimed({"unzip", "-p", "-P", kvz::archivePassword(""), file});
                if (unzip < 0) {
                    std::fputs("unzip failed\n", stderr);
                    return std::nullopt;
                }
            }
        }
        loads.push_back(load);
        unzips.push_back(unzip);
        ratios.push_back(load / unzip);
    }
    const double goal = kind == Pages::Flat ? 1.0 : 0.6;
    std::printf("load to question set: median %.3f s, min %.3f s (%d rounds)\n", median(loads),
                *std::min_element(loads.begin(), loads.end()), rounds);
    std::printf("unzip -p to /dev/null: median %.3f s, min %.3f s\n", median(unzips),
                *std::min_element(unzips.begin(), unzips.end()));
    std::printf("ratio load/unzip, run against run: median %.2fx, min %.2fx (goal <= %.1fx)\n",
                median(ratios), *std::min_element(ratios.begin(), ratios.end()), goal);

    // Memory in a fresh process, so nothing of the generation above counts.
    QProcess child;
    child.start(QString::fromLocal8Bit(argv0),
                {QStringLiteral("--load"), path, QString::fromLatin1(pagesName(kind))});
    long peakKb = -1;
    if (child.waitForFinished(600000) && child.exitCode() == 0)
        peakKb = child.readAllStandardOutput().trimmed().toLong();
    if (peakKb < 0) {
        std::fputs("memory measurement failed\n", stderr);
        return std::nullopt;
    }
    const double memoryRatio = double(peakKb) / 1024 / unpackedMb;
    std::printf("peak memory growth while loading: %.1f MB = %.2fx the unpacked size (goal <= "
                "%.2fx)\n",
                double(peakKb) / 1024, memoryRatio, kMemoryGoal);
    return CaseResult{sizeMb,         kind,
                      median(ratios), *std::min_element(ratios.begin(), ratios.end()),
                      goal,           memoryRatio};
}

// Three decimals: the verdict is taken on the ratio itself, not on its rounding.
void printTable(const std::vector<CaseResult>& results) {
    std::printf("\nload/unzip run against run, and peak memory growth / unpacked size:\n");
    std::printf("%9s  %-5s  %-17s  %-7s  %-6s  %-6s  %-8s  %s\n", "unpacked", "pages",
                "median (min)", "goal", "", "memory", "goal", "");
    for (const CaseResult& r : results) {
        char ratios[32];
        std::snprintf(ratios, sizeof ratios, "%.3fx (%.3fx)", r.medianRatio, r.minRatio);
        std::printf("%6d MB  %-5s  %-17s  <= %.1fx  %-6s  %.3fx  <= %.2fx  %s\n", r.sizeMb,
                    pagesName(r.kind), ratios, r.goal, r.medianRatio <= r.goal ? "met" : "MISSED",
                    r.memoryRatio, kMemoryGoal, r.memoryRatio <= kMemoryGoal ? "met" : "MISSED");
    }
}

// "5,20,50,100" into sizes; false on anything else.
bool parseSizes(const char* text, std::vector<int>& sizes) {
    sizes.clear();
    for (const QByteArray& part : QByteArray(text).split(',')) {
        bool ok = false;
        const int mb = part.trimmed().toInt(&ok);
        if (!ok || mb < 1 || mb > kMaxSizeMb)
            return false;
        sizes.push_back(mb);
    }
    return !sizes.empty();
}

} // namespace

int usage() {
    std::fprintf(stderr,
                 "usage: bench_test_archive [ROUNDS] [--sizes MB,...]\n"
                 "       bench_test_archive --make DIR [MB]\n"
                 "       bench_test_archive --load FILE noise|photo|flat\n"
                 "sizes are unpacked megabytes, 1 to %d\n",
                 kMaxSizeMb);
    return 2;
}

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--load") == 0) {
        for (Pages kind : {Pages::Noise, Pages::Photo, Pages::Flat})
            if (std::strcmp(argv[3], pagesName(kind)) == 0)
                return loadOnce(QString::fromLocal8Bit(argv[2]), kind);
        return usage();
    }
    if ((argc == 3 || argc == 4) && std::strcmp(argv[1], "--make") == 0) {
        std::vector<int> sizes{50};
        if (argc == 4 && (!parseSizes(argv[3], sizes) || sizes.size() != 1))
            return usage();
        const QDir out(QString::fromLocal8Bit(argv[2]));
        for (Pages kind : {Pages::Noise, Pages::Photo, Pages::Flat})
            if (makeArchive(
                    out.filePath(QString::fromLatin1(pagesName(kind)) + QStringLiteral(".tst")),
                    kind, sizes[0]) == 0)
                return 1;
        return 0;
    }
    int rounds = 9;
    std::vector<int> sizes(std::begin(kDefaultSizes), std::end(kDefaultSizes));
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--sizes") == 0) {
            if (++i == argc || !parseSizes(argv[i], sizes))
                return usage();
        } else {
            bool ok = false;
            rounds = QByteArray(argv[i]).toInt(&ok);
            if (!ok || rounds < 1)
                return usage();
        }
    }
    QTemporaryDir dir;
    std::vector<CaseResult> results;
    for (int sizeMb : sizes)
        for (Pages kind : {Pages::Noise, Pages::Photo, Pages::Flat}) {
            const std::optional<CaseResult> r =
                runCase(argv[0], dir.filePath(QStringLiteral("big.tst")), kind, sizeMb, rounds);
            if (!r)
                return 1;
            results.push_back(*r);
        }
    printTable(results);
    return 0;
}
