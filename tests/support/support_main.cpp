// Anchors the support library so it links even before any fixture is added.
namespace torv::test {
int supportAnchor() { return 0; }
}  // namespace torv::test
