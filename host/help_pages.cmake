# Manual pages tav(1) and servo-sim(1), and the bash completion of tav, made
# from the programs' own help so that they cannot drift from the commands.
#   cmake -DTAV=<tav> -DSIM=<servo-sim> -DOUT=<build folder> -P help_pages.cmake
cmake_minimum_required(VERSION 3.20)

function(run_help out)
  execute_process(COMMAND ${ARGN} OUTPUT_VARIABLE text ERROR_VARIABLE err RESULT_VARIABLE rc)
  set(${out} "${text}${err}" PARENT_SCOPE)
endfunction()

# Words of the lines of one section ("Options:", "Subcommands:", "Actions ...:").
function(section_words help section pattern out)
  string(REPLACE "\n" ";" lines "${help}")
  set(inside OFF)
  set(words)
  foreach(line IN LISTS lines)
    if(line MATCHES "^${section}")
      set(inside ON)
    elseif(line MATCHES "^[^ ]")
      set(inside OFF)
    elseif(inside AND line MATCHES "${pattern}")
      list(APPEND words "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  set(${out} "${words}" PARENT_SCOPE)
endfunction()

function(options_of help out)
  string(REPLACE "\n" ";" lines "${help}")
  set(opts)
  set(inside OFF)
  foreach(line IN LISTS lines)
    if(line MATCHES "^Options:")
      set(inside ON)
    elseif(line MATCHES "^[^ ]")
      set(inside OFF)
    elseif(inside AND line MATCHES "^  (-([a-zA-Z]),)?(--[a-z-]+)")
      if(CMAKE_MATCH_2)
        list(APPEND opts "-${CMAKE_MATCH_2}")
      endif()
      list(APPEND opts "${CMAKE_MATCH_3}")
    endif()
  endforeach()
  set(${out} "${opts}" PARENT_SCOPE)
endfunction()

# roff: backslashes escaped, a leading dot or quote protected.
function(roff text out)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

set(man "${OUT}/man/man1")
set(completion_dir "${OUT}/completion")
file(MAKE_DIRECTORY "${man}" "${completion_dir}")

# ---- tav: the command tree
run_help(top ${TAV} --lang en --help)
run_help(version ${TAV} --lang en --version)
string(STRIP "${version}" version)
string(REGEX REPLACE "^tav ([^ ]+).*" "\\1" number "${version}")
options_of("${top}" top_options)
section_words("${top}" "Subcommands:" "^  ([a-z-]+) " commands)

string(REPLACE ";" " " top_words "${top_options};${commands}")
set(table "    [tav]=\"${top_words}\"\n")
set(body "")
foreach(cmd IN LISTS commands)
  run_help(help ${TAV} --lang en help ${cmd})
  options_of("${help}" opts)
  section_words("${help}" "Subcommands:" "^  ([a-z-]+) " subs)
  section_words("${help}" "Actions" "^  ([a-z]+) " actions)
  string(REPLACE ";" " " words "${opts};${subs};${actions}")
  string(APPEND table "    [tav_${cmd}]=\"${words}\"\n")
  roff("${help}" page)
  string(APPEND body ".SS ${cmd}\n.nf\n${page}\n.fi\n")
  foreach(sub IN LISTS subs)
    run_help(subhelp ${TAV} --lang en help ${cmd} ${sub})
    options_of("${subhelp}" subopts)
    string(REPLACE ";" " " subwords "${subopts}")
    string(APPEND table "    [tav_${cmd}_${sub}]=\"${subwords}\"\n")
    roff("${subhelp}" page)
    string(APPEND body ".SS ${cmd} ${sub}\n.nf\n${page}\n.fi\n")
  endforeach()
endforeach()

roff("${top}" top_page)
file(WRITE "${man}/tav.1.tmp"
".TH TAV 1 \"\" \"tav ${number}\" \"User Commands\"
.SH NAME
tav \\- the command-line loader of the servo line
.SH SYNOPSIS
.B tav
[\\fIOPTIONS\\fR] \\fICOMMAND\\fR ...
.SH DESCRIPTION
.nf
${top_page}
.fi
.SH COMMANDS
${body}.SH EXIT STATUS
0 success, 1 failure, 2 usage error, 130 cancelled by the user (Ctrl-C).
\\fBtav diff\\fR exits 0 when the sets are equal, 1 when they differ and 2 on trouble.
.SH ENVIRONMENT
.TP
.B WYN_HOME
the installation folder (servo.set, servo.con, wyn.ini), unless \\-\\-home is given.
.SH SEE ALSO
.BR servo-sim (1)
")
file(RENAME "${man}/tav.1.tmp" "${man}/tav.1")

# ---- servo-sim
run_help(sim ${SIM} --help)
roff("${sim}" sim_page)
file(WRITE "${man}/servo-sim.1.tmp"
".TH SERVO-SIM 1 \"\" \"servo-sim\" \"User Commands\"
.SH NAME
servo-sim \\- a simulated servo line on a pseudo-terminal
.SH SYNOPSIS
.nf
${sim_page}
.fi
.SH DESCRIPTION
servo-sim serves a servo operator and its amplifiers on a pseudo-terminal whose
slave side LINK points at, keeping their state in FILE (JSON, saved after every
change). Faults to inject go into the state file; SIGHUP makes servo-sim read
it again.
.SH SEE ALSO
.BR tav (1)
")
file(RENAME "${man}/servo-sim.1.tmp" "${man}/servo-sim.1")

# ---- bash completion
file(WRITE "${completion_dir}/tav.bash.tmp"
"# bash completion of tav, made from its help when tav is built.
_tav() {
    local cur=\${COMP_WORDS[COMP_CWORD]} prev=\${COMP_WORDS[COMP_CWORD-1]}
    declare -A words=(
${table}    )
    case \"$prev\" in
        --lang) COMPREPLY=($(compgen -W 'ja en' -- \"$cur\")); return ;;
        --format) COMPREPLY=($(compgen -W 'json csv' -- \"$cur\")); return ;;
        --home|--out|--into|--file) COMPREPLY=($(compgen -f -- \"$cur\")); return ;;
    esac
    # The command path: every word that names a command below the one before.
    local path=tav i
    for ((i = 1; i < COMP_CWORD; i++)); do
        [[ -n \"\${words[\${path}_\${COMP_WORDS[i]}]+set}\" ]] && path=\${path}_\${COMP_WORDS[i]}
    done
    COMPREPLY=($(compgen -W \"\${words[$path]}\" -- \"$cur\"))
    [[ \${#COMPREPLY[@]} -eq 0 ]] && COMPREPLY=($(compgen -f -- \"$cur\"))
}
complete -o filenames -F _tav tav
")
file(RENAME "${completion_dir}/tav.bash.tmp" "${completion_dir}/tav.bash")
