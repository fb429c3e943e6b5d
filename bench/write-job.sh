# Sourced by the benchmarks: defines write_job.
# Writes the job definition $3 that backs up the whole of $1 into $2 as one
# archive; $4 is its NoOverwrite value ("no" unless given).
write_job() {
  local source=$1 target=$2 file=$3 keep=${4:-no}
  cat >"$file" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<Arkivault>
 <BackupDef BackupTitle="bench" BackupName="bench" Suffix="None" SourceRootPath="$source"
            TargetPath="$target" NoOverwrite="$keep" SubDirIndividual="no" NoEmpty="no">
  <IncludeFilePatterns><Pattern Pattern="*"/></IncludeFilePatterns>
  <IncludeDirPatterns><Pattern Pattern="*"/></IncludeDirPatterns>
 </BackupDef>
</Arkivault>
XML
}
