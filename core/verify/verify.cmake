halvetrop_module(verify
  SOURCES ParallelFor.cpp ExtTable.cpp Verifier.cpp CardScan.cpp Compare.cpp Groups.cpp ContentLines.cpp CardChanges.cpp
  DEPS halvetrop_collate halvetrop_walk halvetrop_anatomy halvetrop_capture halvetrop_drives halvetrop_dates
       halvetrop_hash halvetrop_content halvetrop_index halvetrop_verdict halvetrop_report halvetrop_utf8
       halvetrop_platform ICU::uc ICU::i18n Threads::Threads)
