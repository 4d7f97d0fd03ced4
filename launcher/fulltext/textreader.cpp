#include "fulltext/textreader.h"

#include "fulltext/bundledtexts.h"
#include "fulltext/searchfold.h"

#include <pthread.h>

#include <algorithm>
#include <utility>

namespace vadok {

namespace {

qint64 sizeOf(const ReadItem& item) {
    return item.text.original.size() + item.text.folded.size();
}

} // namespace

TextReader::TextReader(std::vector<TextJob> jobs, TextBudget budget,
                       std::function<void(const char* point)> at)
    : m_jobs(std::move(jobs)), m_budget(budget), m_at(std::move(at)) {
    m_thread = std::thread([this] { run(); });
}

TextReader::~TextReader() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

bool TextReader::put(ReadItem item) {
    std::unique_lock lock(m_mutex);
    // One item always goes through, however large, so that a big text cannot stall both.
    m_changed.wait(lock, [this] { return m_stop || m_queued < kReadAhead || m_queue.empty(); });
    if (m_stop)
        return false;
    m_queued += sizeOf(item);
    m_queue.push_back(std::move(item));
    m_changed.notify_all();
    return true;
}

void TextReader::run() {
    pthread_setname_np(pthread_self(), "vadok-ftread");
    try {
        qint64 left = m_budget.all;
        for (std::size_t job = 0; job < m_jobs.size(); ++job) {
            const TextJob& j = m_jobs[job];
            const BundledTextSink add = [&](const QString& name, const QString& text) {
                if (m_at)
                    m_at("text");
                ReadItem item;
                item.job = job;
                item.text = {name, text.toUtf8(), foldForSearch(text).toUtf8()};
                return put(std::move(item));
            };
            const qint64 budget = std::clamp<qint64>(left, 0, m_budget.perApp);
            TextsRead read;
            // A damaged archive gives what could be read.
            if (!j.folder.isEmpty())
                read = readFolderTexts(j.folder, budget, add);
            else if (!j.archive.isEmpty()) {
                if (m_at)
                    m_at("archive");
                read = readArchiveTexts(j.archive, budget, add);
            }
            left -= read.bytes;
            ReadItem end;
            end.job = job;
            end.end = true;
            end.bytes = read.bytes;
            end.cut = read.cut;
            if (!put(std::move(end)))
                break;
        }
    } catch (...) {
        std::lock_guard lock(m_mutex);
        m_error = std::current_exception();
    }
    std::lock_guard lock(m_mutex);
    m_done = true;
    m_changed.notify_all();
}

bool TextReader::next(ReadItem& item) {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_queue.empty() || m_done; });
    if (m_queue.empty()) {
        if (m_error)
            std::rethrow_exception(std::exchange(m_error, nullptr));
        return false;
    }
    item = std::move(m_queue.front());
    m_queue.pop_front();
    m_queued -= sizeOf(item);
    m_changed.notify_all();
    return true;
}

} // namespace vadok
