#include "TestSupport.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "jet/Error.h"
#include "page/MemoryFile.h"

namespace jettest {

std::filesystem::path corpusDir() {
    const char* env = std::getenv("TESSOR_SHARED_DIR");
    std::filesystem::path shared = env && *env ? env : "/work/shared";
    std::filesystem::path dir = shared / "testdata" / "mdb";
    return std::filesystem::is_directory(dir) ? dir : std::filesystem::path();
}

std::filesystem::path oracleDir() {
    auto c = corpusDir();
    return c.empty() ? c : c.parent_path() / "mdb-oracle";
}

std::unique_ptr<jet::Database> openImage(const std::vector<uint8_t>& bytes,
                                         const jet::OpenOptions& options) {
    return jet::Database::openFile(std::make_unique<jet::MemoryFile>(bytes), "memory.mdb", options);
}

std::vector<uint8_t> readFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

TempFile::TempFile(const std::vector<uint8_t>& bytes, const std::string& name) {
    std::string tmpl = (std::filesystem::temp_directory_path() / "jet-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    m_dir = tmpl;
    m_path = m_dir / name;
    std::ofstream out(m_path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

TempFile::~TempFile() {
    std::error_code ec;
    std::filesystem::remove_all(m_dir, ec);
}

uint32_t errorCodeOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const jet::Error& e) {
        return e.code();
    }
    return 0;
}

}  // namespace jettest
