// Times the signed-update check of one build: the SHA-256 of the build and the
// ECDSA P-256 verification of its signature file, both through CNG, against
// the MD5 of the same bytes that the client computed before signatures
// existed. Prints "name ms" lines: the first call of each in the process (as
// the client makes it once per start, libraries still cold), then the best
// of the rounds. bench/verify drives it.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "net/Md5.h"
#include "update/SignatureFile.h"
#include "update/SignatureVerifier.h"
#include "update/UpdateKey.h"

namespace {

double Milliseconds(const std::function<bool()>& work) {
    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    if (!work()) return -1;
    ::QueryPerformanceCounter(&end);
    return 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void Report(const char* name, int rounds, const std::function<bool()>& work) {
    const double first = Milliseconds(work);
    double best = first;
    for (int round = 1; round < rounds; ++round) {
        const double ms = Milliseconds(work);
        if (ms < 0 || best < 0) best = -1;
        else if (ms < best) best = ms;
    }
    std::printf("%s-first %.3f\n%s-best %.3f\n", name, first, name, best);
}

std::string ReadAll(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: verify_bench BUILD SIGNATURE_FILE KEY_HEX [ROUNDS]\n");
        return 2;
    }
    const std::string build = ReadAll(argv[1]);
    const std::optional<SignatureFile> file = ParseSignatureFile(ReadAll(argv[2]));
    std::string keyText = argv[3];
    const std::optional<UpdateKey> key = ParseUpdateKey(keyText);
    const int rounds = argc > 4 ? std::atoi(argv[4]) : 20;
    if (build.empty() || !file || !key || rounds < 1) {
        std::fprintf(stderr, "verify_bench: unreadable build, signature file or key\n");
        return 1;
    }
    const auto length = static_cast<uint32_t>(build.size());
    std::printf("bytes %u\n", length);
    // The signature first: in the client it runs first, and it pays for
    // loading the ECDSA provider.
    Report("ecdsa", rounds, [&] { return IsSignedBy(*key, *file); });
    Report("sha256", rounds, [&] {
        Sha256Digest digest{};
        return ComputeSha256(build.data(), length, digest) && DescribesBytes(*file, length, digest);
    });
    Report("md5", rounds, [&] { return Md5HexDigest(build.data(), length).size() == 32; });
    return 0;
}
