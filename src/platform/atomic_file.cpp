#include "platform/atomic_file.h"

#include <QSaveFile>
#include <QString>

#include <fstream>
#include <iterator>

namespace tallybird {

bool WriteFileAtomically(const std::filesystem::path& file, ByteView contents) {
    QSaveFile out(QString::fromStdString(file.string()));
    if (!out.open(QIODevice::WriteOnly)) {
        return false;
    }
    const auto size = static_cast<qint64>(contents.size());
    if (size > 0 && out.write(reinterpret_cast<const char*>(contents.data()), size) != size) {
        out.cancelWriting();
        return false;
    }
    return out.commit();
}

std::optional<Bytes> ReadWholeFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    Bytes contents((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        return std::nullopt;
    }
    return contents;
}

} // namespace tallybird
