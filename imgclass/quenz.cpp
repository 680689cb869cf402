// Library identity.
namespace quenz {
const char* version() { return "1.2"; }
}  // namespace quenz
