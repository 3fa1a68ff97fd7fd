#include "Zip.h"

#include "Dispatch.h"

#include <zlib.h>

#include <new>

namespace wordstub {

namespace {

[[noreturn]] void TooLarge() {
    throw MemberError{WordError(5356),
                      L"文書を保存できません。図の数またはサイズが保存できる上限を超えています。"};
}

} // namespace

ZipWriter::~ZipWriter() {
    if (deflater_) {
        deflateEnd(deflater_);
        delete deflater_;
    }
}

void ZipWriter::Add(const std::string& name, const std::string& data) {
    if (entries_.size() >= kMaxEntries || data.size() > kMaxBytes || name.size() > 0xFFFF)
        TooLarge();
    if (!deflater_) {
        auto* z = new z_stream{};
        if (deflateInit2(z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) !=
            Z_OK) {
            delete z;
            throw std::bad_alloc();
        }
        deflater_ = z;
    } else if (deflateReset(deflater_) != Z_OK) {
        throw std::bad_alloc();
    }
    z_stream& z = *deflater_;
    std::string packed(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(packed.data());
    z.avail_out = static_cast<uInt>(packed.size());
    const int status = deflate(&z, Z_FINISH);
    packed.resize(z.total_out);
    if (status != Z_STREAM_END)
        throw std::bad_alloc();
    // Everything up to this entry's end must stay addressable in 32 bits.
    if (out_.size() + 30 + name.size() + packed.size() > kMaxBytes)
        TooLarge();
    Entry e{name,
            crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())),
            static_cast<uint32_t>(packed.size()), static_cast<uint32_t>(data.size()),
            static_cast<uint32_t>(out_.size())};
    Header(0x04034b50, e, false);
    out_ += name;
    out_ += packed;
    entries_.push_back(std::move(e));
}

std::string ZipWriter::Finish() {
    uint64_t central = 0;
    for (const Entry& e : entries_)
        central += 46 + e.name.size();
    if (out_.size() + central + 22 > kMaxBytes)
        TooLarge();
    const auto start = static_cast<uint32_t>(out_.size());
    for (const Entry& e : entries_) {
        Header(0x02014b50, e, true);
        out_ += e.name;
    }
    const auto size = static_cast<uint32_t>(out_.size()) - start;
    U32(0x06054b50);
    U16(0);
    U16(0);
    U16(static_cast<uint16_t>(entries_.size()));
    U16(static_cast<uint16_t>(entries_.size()));
    U32(size);
    U32(start);
    U16(0);
    return std::move(out_);
}

void ZipWriter::U16(uint16_t v) {
    out_ += static_cast<char>(v & 0xff);
    out_ += static_cast<char>(v >> 8);
}

void ZipWriter::U32(uint32_t v) {
    U16(static_cast<uint16_t>(v & 0xffff));
    U16(static_cast<uint16_t>(v >> 16));
}

void ZipWriter::Header(uint32_t signature, const Entry& e, bool central) {
    U32(signature);
    if (central)
        U16(20); // made by
    U16(20);     // needed to extract
    U16(0);      // flags
    U16(8);      // deflate
    U16(0);      // time 00:00
    U16(0x21);   // date 1980-01-01
    U32(e.crc);
    U32(e.packed);
    U32(e.size);
    U16(static_cast<uint16_t>(e.name.size()));
    U16(0); // extra
    if (central) {
        U16(0); // comment
        U16(0); // disk
        U16(0); // internal attributes
        U32(0); // external attributes
        U32(e.offset);
    }
}

} // namespace wordstub
