# Sourced: maps a test's WINEPREFIX into WINE_PREFIX_ROOT when that is set,
# so that an emulated machine can keep its prefixes on a fast local disk
# instead of the shared build tree.
if [ -n "${WINE_PREFIX_ROOT:-}" ] && [ -n "${WINEPREFIX:-}" ]; then
  WINEPREFIX=$WINE_PREFIX_ROOT/$(basename "$WINEPREFIX")
fi
