// Includes one header named by the build (LAYER_PROBE_HEADER): a layer
// that does not link the header's library must fail to compile this.
#include LAYER_PROBE_HEADER
