#include "images/ImagePrefetch.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "resources/DataFile.h"

namespace {

struct PrefetchedImage {
  std::string path;
  ImageBuffer image;
  int status = 0;
  bool ready = false;
  bool taken = false;
};

class ImagePrefetcher {
 public:
  explicit ImagePrefetcher(std::vector<std::string> paths) {
    for (std::string& path : paths) images_.emplace_back().path = std::move(path);
    thread_ = std::thread([this] { run(); });
  }

  ~ImagePrefetcher() {
    thread_.join();
    for (PrefetchedImage& entry : images_) {
      if (!entry.taken) delete[] entry.image.pixels;
    }
  }

  bool take(const std::string& path, ImageBuffer& image, int& status) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (PrefetchedImage& entry : images_) {
      if (entry.path != path || entry.taken) continue;
      ready_.wait(lock, [&] { return entry.ready; });
      entry.taken = true;
      image = entry.image;
      status = entry.status;
      return true;
    }
    return false;
  }

 private:
  void run() {
    // images_ never changes size, so its entries stay put; each entry's result is
    // written under the lock.
    for (PrefetchedImage& entry : images_) {
      ImageBuffer image;
      const int status = read_image(entry.path.c_str(), &image, true);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        entry.image = image;
        entry.status = status;
        entry.ready = true;
      }
      ready_.notify_all();
    }
  }

  std::vector<PrefetchedImage> images_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::thread thread_;
};

std::unique_ptr<ImagePrefetcher>& prefetcher() {
  static std::unique_ptr<ImagePrefetcher> instance;
  return instance;
}

}  // namespace

void prefetchImages(const std::string& directory, const std::vector<std::string>& baseNames,
                    const std::vector<std::string>& extensions) {
  std::vector<std::string> paths;
  for (const std::string& base : baseNames) {
    for (const std::string& extension : extensions) {
      const std::string path = directory + "/" + base + "." + extension;
      if (!isReadableFile(path)) continue;
      // Corrupt JPEG data ends the process from inside the reader: never on this thread.
      if (extension == "png") paths.push_back(path);
      break;
    }
  }
  prefetcher().reset();
  prefetcher() = std::make_unique<ImagePrefetcher>(std::move(paths));
}

bool takePrefetchedImage(const std::string& path, ImageBuffer& image, int& status) {
  return prefetcher() && prefetcher()->take(path, image, status);
}
