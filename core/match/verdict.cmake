halvetrop_module(verdict SOURCES Verdict.cpp Status.cpp Landing.cpp OnDrive.cpp
  DEPS halvetrop_capture halvetrop_content halvetrop_index halvetrop_drives)
