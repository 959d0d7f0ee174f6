#include "base/log_sink.hpp"

namespace lumenfolio {

namespace {

class DiscardingSink final : public LogSink {
 public:
  void write(LogLevel, std::string_view) override {}
};

}  // namespace

LogSink& LogSink::discard() {
  static DiscardingSink sink;
  return sink;
}

}  // namespace lumenfolio
