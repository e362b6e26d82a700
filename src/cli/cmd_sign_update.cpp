#include <cstdio>
#include <string>
#include <vector>

#include "cli.h"
#include "platform/files.h"
#include "platform/signature.h"

// The signature of a new version's program, for the update manifest's download block.
namespace cli {
namespace {

int runSignUpdate(const std::vector<std::string>& args) {
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: vantu-cli sign-update KEY FILE\n");
        return kExitUsage;
    }
    std::optional<std::string> keyPath = localPath(args[0], "sign-update");
    std::optional<std::string> file = localPath(args[1], "sign-update");
    if (!keyPath || !file) return kExitFile;
    std::string pem;
    std::optional<platform::SigningKey> key;
    if (platform::readWholeFile(*keyPath, pem)) key = platform::readSigningKey(pem);
    if (!key) {
        std::fprintf(stderr,
                     "vantu-cli sign-update: %s is not an unencrypted P-256 key in PEM "
                     "(openssl ecparam -name prime256v1 -genkey -noout -out KEY)\n",
                     args[0].c_str());
        return kExitFile;
    }
    if (!platform::fileExists(*file)) {
        std::fprintf(stderr, "vantu-cli sign-update: cannot read %s\n", args[1].c_str());
        return kExitFile;
    }
    std::string signature = platform::signFile(*file, *key);
    if (signature.empty()) {
        std::fprintf(stderr, "vantu-cli sign-update: %s could not be signed with %s\n",
                     args[1].c_str(), args[0].c_str());
        return kExitFailed;
    }
    std::printf("%s\n", signature.c_str());
    return kExitOk;
}

const CliCommand kSignUpdate({
    "sign-update",
    "sign-update KEY FILE",
    "sign a new version's program for the update manifest",
    "Prints the signature of FILE by KEY (a P-256 key in PEM, unencrypted, as openssl writes it)\n"
    "in base64: the text of the signature element of the manifest's download block. The\n"
    "program installs an update only when this signature checks with the public key built\n"
    "into it (VANTU_UPDATE_PUBLIC_KEY).\n\n"
    "Example:\n"
    "  openssl ecparam -name prime256v1 -genkey -noout -out update-key.pem\n"
    "  openssl ec -in update-key.pem -pubout -out update-public.pem\n"
    "  vantu-cli sign-update update-key.pem vantu.exe\n",
    runSignUpdate,
});

}  // namespace
}  // namespace cli
