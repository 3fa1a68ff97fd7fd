#pragma once
// A zip container of deflated entries, as Office packages are stored.

#include <cstdint>
#include <string>
#include <vector>

struct z_stream_s;

namespace wordstub {

class ZipWriter {
public:
    // The classic zip records count entries in 16 bits and sizes and offsets in 32: a package
    // beyond either is refused with Word's save error rather than written with counts that wrap.
    static constexpr size_t kMaxEntries = 0xFFFF;
    static constexpr uint64_t kMaxBytes = 0xFFFFFFFFu;

    ZipWriter() = default;
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;
    ~ZipWriter();

    void Add(const std::string& name, const std::string& data);
    // The whole package.
    std::string Finish();

private:
    struct Entry {
        std::string name;
        uint32_t crc, packed, size, offset;
    };
    void U16(uint16_t v);
    void U32(uint32_t v);
    void Header(uint32_t signature, const Entry& e, bool central);

    z_stream_s* deflater_ = nullptr; // one for every entry: setting one up is costly
    std::string out_;
    std::vector<Entry> entries_;
};

} // namespace wordstub
