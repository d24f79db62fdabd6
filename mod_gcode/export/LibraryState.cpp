// Placeholder until the library state lands.
namespace quillet { int g_libraryStatePlaceholder = 0; }
