# The simulator's sources, relative to the repository root: the 64-bit build and the 32-bit one
# (i386/) compile the same files.
set(V4L2SIM_SOURCES
  tools/v4l2sim/interpose.cpp tools/v4l2sim/simulator.cpp tools/v4l2sim/read_io.cpp
  tools/v4l2sim/buffer_queue.cpp tools/v4l2sim/control_events.cpp
  tools/v4l2sim/frame_painter.cpp tools/v4l2sim/sim_config.cpp
  capture/virtual/config_fields.cpp base/linux/regular_file.cpp)
set(V4L2SIM_MODEL_SOURCES tools/v4l2sim/device_model.cpp tools/v4l2sim/device_tree.cpp)
