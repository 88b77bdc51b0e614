# Bash completion for quarnel: the options after "-" (or in an empty word), folders after -i and
# -o, .csv, .html and .htm files in any letter case (and folders on the way to them) after -r,
# nothing after -b and -q (numbers). quarnel picks an option by its second character, so
# -input, -output and -report act as -i, -o and -r here too. Needs nothing but bash;
# installed as /usr/share/bash-completion/completions/quarnel, where bash-completion loads it
# the first time quarnel is completed. To try it by hand: source completions/quarnel.bash

_quarnel() {
  local cur="${COMP_WORDS[COMP_CWORD]}" prev=""
  ((COMP_CWORD > 0)) && prev="${COMP_WORDS[COMP_CWORD - 1]}"
  COMPREPLY=()
  case "$prev" in
    -i* | -o*)
      mapfile -t COMPREPLY < <(compgen -d -- "$cur")
      return
      ;;
    -r*) # the tool takes the report's format from its extension, in any letter case
      mapfile -t COMPREPLY < <(compgen -d -- "$cur"
        compgen -f -X '!*.[cC][sS][vV]' -- "$cur"
        compgen -f -X '!*.[hH][tT][mM][lL]' -- "$cur"
        compgen -f -X '!*.[hH][tT][mM]' -- "$cur")
      return
      ;;
    -b* | -q*) return ;; # a number
  esac
  if [[ -z "$cur" || "$cur" == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W '-i -o -b -w -n -z -q -r -h --help --version -v' -- "$cur")
  fi
}

# filenames: folders get a '/' and no space after them, and names with blanks are quoted.
complete -o filenames -F _quarnel quarnel
