#include <unistd.h>

#include <cctype>
#include <type_traits>
#include <variant>

#include "cli/command.h"
#include "cli/processes.h"
#include "io/error.h"

namespace towngrow::cli {

namespace {

// The program's name of an option: --stem, or the stem in capitals for a
// word in its place.
std::string NameOf(const jobs::Option& o) {
  if (!o.positional) return std::string("--") + o.stem;
  std::string name = o.stem;
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

}  // namespace

void AddOptions(CLI::App* cmd, const jobs::OptionTable& table) {
  table([cmd](const jobs::Option& o, jobs::OptionField field) {
    const std::string name = NameOf(o);
    CLI::Option* added = std::visit(
        [&](auto* value) -> CLI::Option* {
          using T = std::remove_pointer_t<decltype(value)>;
          if constexpr (std::is_same_v<T, bool>) {
            if (o.negated)
              return cmd->add_flag_callback(
                  name, [value] { *value = false; }, o.help);
            return cmd->add_flag(name, *value, o.help);
          } else if constexpr (std::is_same_v<T, jobs::CalibrationMethod>) {
            return cmd
                ->add_option_function<std::string>(
                    name,
                    [value](const std::string& text) {
                      try {
                        *value = jobs::MethodNamed(text);
                      } catch (const io::Error& e) {
                        throw CLI::ValidationError(e.what());
                      }
                    },
                    o.help)
                ->default_str(jobs::MethodName(*value));
          } else if constexpr (std::is_same_v<T, std::vector<std::string>>) {
            return cmd->add_option(name, *value, o.help)
                ->expected(1)
                ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
          } else {  // given again (after a repeat line), the last value holds
            return cmd->add_option(name, *value, o.help)
                ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
          }
        },
        field);
    if (o.required) added->required();
  });
}

bool SizeGiven(const CLI::App* cmd) { return cmd->count("--rows") > 0 || cmd->count("--cols") > 0; }

void PrintWarning(const std::string& text) {
  if (IsSecondaryProcess()) return;
  std::fprintf(stderr, "towngrow: warning: %s\n", text.c_str());
}

void PrintMessages(std::FILE* out, const io::MessageLog& log, const std::string& note) {
  const auto counts = log.Counts();
  if (counts.empty()) return;
  std::fprintf(out, "Messages of the model (times shown%s):\n", note.c_str());
  for (const auto& entry : counts)
    std::fprintf(out, "  %8ld  %s\n", entry.second, io::MessageLog::OneLine(entry.first).c_str());
}

bool ProgressShown(bool quiet) { return !quiet && ::isatty(STDERR_FILENO) != 0; }

}  // namespace towngrow::cli
