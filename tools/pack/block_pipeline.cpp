#include "pack/block_pipeline.h"

#include <algorithm>
#include <string_view>

#include "pack/block_compressor.h"
#include "pack/error.h"

namespace pack {

namespace {

constexpr std::size_t kSmallBlock = 64 * 1024;

} // namespace

// Compresses jobs with the build's compressor. Already-compressed data
// (media, archives) is common in setups and costs as much to deflate as
// text, for nothing: evenly spread samples of a large block are tried at the
// fastest level first, and only when none of them shrinks is the block
// stored without the full attempt.
class Compressor {
public:
  explicit Compressor(Levels levels)
      : large_(BuildCompressor().make(levels.large)),
        small_(levels.small == levels.large ? nullptr : BuildCompressor().make(levels.small)),
        probe_(BuildCompressor().make(1)) {}

  void Run(Job& job) {
    if (LooksIncompressible(job.raw)) return; // stored
    try {
      BlockCompressor& c = small_ && job.raw.size() < kSmallBlock ? *small_ : *large_;
      if (!c.Compress(job.raw, job.packed)) job.packed.shrink_to_fit(); // stored
    } catch (const Error& e) {
      job.error = e.what();
    }
  }

private:
  bool LooksIncompressible(const std::string& raw) {
    constexpr std::size_t kSamples = 8, kSample = 8192;
    if (raw.size() < 8 * kSamples * kSample) return false;
    for (std::size_t i = 0; i < kSamples; ++i) {
      const std::size_t at = (raw.size() - kSample) * i / (kSamples - 1);
      // Shrinking by 3% or more is worth the full attempt.
      if (probe_->Compress(std::string_view(raw).substr(at, kSample), sample_) &&
          sample_.size() * 100 < kSample * 97)
        return false;
    }
    return true;
  }

  std::unique_ptr<BlockCompressor> large_, small_, probe_;
  std::string sample_;
};

Pipeline::Pipeline(Levels levels, unsigned threads, std::function<void(Job&)> write)
    : write_(std::move(write)) {
#if defined(_GLIBCXX_HAS_GTHREADS)
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  if (threads > 1) {
    maxInFlight_ = threads * 2 + 1;
    // Made here, so a compressor that cannot be had fails the build rather
    // than a worker thread.
    for (unsigned i = 0; i < threads; ++i)
      compressors_.push_back(std::make_unique<Compressor>(levels));
    for (auto& c : compressors_)
      workers_.emplace_back([this, c = c.get()] { Work(*c); });
    return;
  }
#else
  (void)threads;
#endif
  inline_ = std::make_unique<Compressor>(levels);
}

Pipeline::~Pipeline() {
  Stop();
}

void Pipeline::Submit(std::unique_ptr<Job> job) {
  if (inline_) {
    inline_->Run(*job);
    Deliver(*job);
    return;
  }
#if defined(_GLIBCXX_HAS_GTHREADS)
  std::unique_lock lock(mutex_);
  pending_.push_back(job.get());
  order_.push_back(std::move(job));
  workCv_.notify_one();
  while (order_.size() >= maxInFlight_)
    WriteFront(lock);
#endif
}

void Pipeline::Finish() {
#if defined(_GLIBCXX_HAS_GTHREADS)
  std::unique_lock lock(mutex_);
  while (!order_.empty())
    WriteFront(lock);
#endif
}

void Pipeline::Deliver(Job& job) {
  if (!job.error.empty()) throw Error(job.error);
  write_(job);
}

#if defined(_GLIBCXX_HAS_GTHREADS)
void Pipeline::WriteFront(std::unique_lock<std::mutex>& lock) {
  doneCv_.wait(lock, [this] { return order_.front()->done; });
  std::unique_ptr<Job> job = std::move(order_.front());
  order_.pop_front();
  lock.unlock();
  Deliver(*job);
  lock.lock();
}

void Pipeline::Work(Compressor& compressor) {
  std::unique_lock lock(mutex_);
  for (;;) {
    workCv_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
    if (stopping_) return;
    Job* job = pending_.front();
    pending_.pop_front();
    lock.unlock();
    compressor.Run(*job);
    lock.lock();
    job->done = true;
    doneCv_.notify_all();
  }
}
#endif

void Pipeline::Stop() {
#if defined(_GLIBCXX_HAS_GTHREADS)
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    pending_.clear();
  }
  workCv_.notify_all();
  for (auto& t : workers_)
    t.join();
  workers_.clear();
#endif
}

} // namespace pack
