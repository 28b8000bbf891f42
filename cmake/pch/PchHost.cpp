// The one source of a precompiled-header host (cmake/Precompiled.cmake): it only makes the
// header set that the project's targets reuse.
namespace {
[[maybe_unused]] constexpr int PCH_HOST = 0;
} // namespace
