// The build's parallel compressor: blocks go in in package order, are
// compressed on worker threads and come out in the same order, so the
// package does not depend on the thread count.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#if defined(_GLIBCXX_HAS_GTHREADS)
#include <condition_variable>
#include <mutex>
#include <thread>
#endif

namespace pack {

// One block on its way into the package.
struct Job {
  std::string name;   // package name of the file, for messages
  std::string raw;    // file header, 0 byte, data
  std::string packed; // the zlib stream, when it pays
  std::uint64_t inputBytes = 0;
  bool done = false;
  std::string error;
};

// The levels a build compresses at. A block shorter than two deflate windows
// (most small files) is compressed with a partly empty window and loses
// most by being compressed alone; its time is small whatever the level, so
// by default it gets a higher one (docs/vpack.md, Compression).
struct Levels {
  int large = 0;
  int small = 0;
};

class Compressor;

// Compresses blocks on worker threads and hands them to `write` in
// submission order. Without thread support (MinGW's win32 thread model)
// blocks are compressed as submitted. A block that fails to compress throws
// pack::Error from Submit() or Finish().
class Pipeline {
public:
  Pipeline(Levels levels, unsigned threads, std::function<void(Job&)> write);
  ~Pipeline();

  void Submit(std::unique_ptr<Job> job);
  // Writes every block still in flight.
  void Finish();

private:
  void Deliver(Job& job);
#if defined(_GLIBCXX_HAS_GTHREADS)
  void WriteFront(std::unique_lock<std::mutex>& lock);
  void Work(Compressor& compressor);
#endif
  void Stop();

  std::function<void(Job&)> write_;
  std::unique_ptr<Compressor> inline_;
#if defined(_GLIBCXX_HAS_GTHREADS)
  std::size_t maxInFlight_ = 1;
  std::mutex mutex_;
  std::condition_variable workCv_, doneCv_;
  std::deque<Job*> pending_;                             // waiting for a worker
  std::deque<std::unique_ptr<Job>> order_;               // every block in flight, in output order
  std::vector<std::unique_ptr<Compressor>> compressors_; // one per worker
  std::vector<std::thread> workers_;
  bool stopping_ = false;
#endif
};

} // namespace pack
