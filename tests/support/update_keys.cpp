#include "support/update_keys.h"

#include "platform/signature.h"
#include "support/temp_dir.h"

std::string signatureOf(const std::string& bytes, const char* pem) {
    TempDir dir;
    writeFileBytes(dir.file("signed"), bytes);
    return platform::signFile(dir.file("signed"), platform::readSigningKey(pem).value());
}
