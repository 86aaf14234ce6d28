// The simulator engine lives in this folder; this unit keeps the archive non-empty.
namespace tavsim { int placeholder() { return 0; } }
