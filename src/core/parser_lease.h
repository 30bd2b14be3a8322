#pragma once

#include <simdjson.h>

#include <cstddef>
#include <mutex>

// The parser's buffers, several times the document's size, are kept from one
// decode to the next: fresh pages on every decode cost more than the parse.
// A decode that overlaps another (never in the program) gets a parser of its own.
class ParserLease
{
public:
    ParserLease() : m_lock(mutex(), std::try_to_lock) { }
    ~ParserLease()
    {
        // A huge document's buffers are not worth keeping for the next one.
        if (m_lock.owns_lock() && shared().capacity() > kKeepCapacity + kKeepCapacity / 4)
            shared() = simdjson::dom::parser();
    }
    ParserLease(const ParserLease &) = delete;
    ParserLease &operator=(const ParserLease &) = delete;

    // Room for `size` bytes, with headroom so a feed that grows a little finds it.
    simdjson::dom::parser &parserFor(size_t size)
    {
        simdjson::dom::parser &parser = m_lock.owns_lock() ? shared() : m_own;
        if (parser.capacity() < size && size <= kKeepCapacity) {
            // On failure the parser stays as it was, and parse() reports the lack of memory.
            [[maybe_unused]] const auto error = parser.allocate(size + size / 4);
        }
        return parser;
    }

private:
    // As large as the biggest body the paper service accepts by default.
    static constexpr size_t kKeepCapacity = size_t(32) << 20;
    static std::mutex &mutex()
    {
        static std::mutex instance;
        return instance;
    }
    static simdjson::dom::parser &shared()
    {
        static simdjson::dom::parser instance;
        return instance;
    }

    std::unique_lock<std::mutex> m_lock;
    simdjson::dom::parser m_own;
};
