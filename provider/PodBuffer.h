#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>
#include <type_traits>

namespace tessor::provider {

// A growable array of plain bytes (or other trivially copyable items) that, unlike
// std::vector, can be grown without first zeroing what the caller is about to write (a
// snapshot appends a few bytes per value a million times while a table loads), and that grows
// and shrinks with realloc, which moves a large block's pages instead of copying its bytes.
// It holds at most 4G items, so that it costs 16 bytes beside them (a snapshot keeps three per
// column); growing past that throws std::bad_alloc, as running out of memory does.
template <typename T>
class PodBuffer {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    PodBuffer() = default;
    PodBuffer(PodBuffer&& other) noexcept { swap(other); }
    PodBuffer& operator=(PodBuffer&& other) noexcept {
        PodBuffer(std::move(other)).swap(*this);
        return *this;
    }
    PodBuffer(const PodBuffer&) = delete;
    PodBuffer& operator=(const PodBuffer&) = delete;
    ~PodBuffer() { std::free(m_data); }

    size_t size() const { return m_size; }
    size_t capacity() const { return m_capacity; }
    static constexpr size_t maxSize() { return UINT32_MAX; }
    bool empty() const { return m_size == 0; }
    T* data() { return m_data; }
    const T* data() const { return m_data; }
    T& operator[](size_t i) { return m_data[i]; }
    const T& operator[](size_t i) const { return m_data[i]; }

    // Adds n items at the end, left for the caller to write, and returns where they start.
    T* grow(size_t n) {
        if (m_capacity - m_size < n) {
            if (n > maxSize() - m_size) throw std::bad_alloc();
            reallocate(std::min<size_t>(maxSize(), std::max<size_t>(m_size + n, size_t{m_capacity} * 2)));
        }
        T* at = m_data + m_size;
        m_size += static_cast<uint32_t>(n);
        return at;
    }
    void append(const T* from, size_t n) {
        if (n) std::memcpy(grow(n), from, n * sizeof(T));
    }
    // New items are zero.
    void resize(size_t n) {
        if (n > m_size) {
            const size_t old = m_size;
            std::memset(grow(n - old), 0, (n - old) * sizeof(T));
        }
        m_size = static_cast<uint32_t>(n);
    }
    // Removes the items [from, to); the ones after move down.
    void erase(size_t from, size_t to) {
        std::memmove(m_data + from, m_data + to, (m_size - to) * sizeof(T));
        m_size -= static_cast<uint32_t>(to - from);
    }
    void reserve(size_t n) {
        if (n > maxSize()) throw std::bad_alloc();
        if (n > m_capacity) reallocate(n);
    }
    void clear() { m_size = 0; }
    void shrinkToFit() {
        if (m_capacity == m_size) return;
        if (m_size == 0) {
            std::free(m_data);
            m_data = nullptr;
            m_capacity = 0;
            return;
        }
        reallocate(m_size);
    }
    void swap(PodBuffer& other) noexcept {
        std::swap(m_data, other.m_data);
        std::swap(m_size, other.m_size);
        std::swap(m_capacity, other.m_capacity);
    }

private:
    void reallocate(size_t capacity) {
        void* fresh = std::realloc(m_data, capacity * sizeof(T));
        if (!fresh) throw std::bad_alloc();
        m_data = static_cast<T*>(fresh);
        m_capacity = static_cast<uint32_t>(capacity);
    }

    T* m_data = nullptr;
    uint32_t m_size = 0;
    uint32_t m_capacity = 0;
};

}  // namespace tessor::provider
