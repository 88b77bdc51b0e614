# Bash completion for quarnel: the options after "-" (or in an empty word), folders after -i and
# -o, .csv and .html files (and folders on the way to them) after -r. Needs nothing but bash;
# installed as /usr/share/bash-completion/completions/quarnel, where bash-completion loads it
# the first time quarnel is completed. To try it by hand: source completions/quarnel.bash

_quarnel() {
  local cur="${COMP_WORDS[COMP_CWORD]}" prev=""
  ((COMP_CWORD > 0)) && prev="${COMP_WORDS[COMP_CWORD - 1]}"
  COMPREPLY=()
  case "$prev" in
    -i | -o)
      mapfile -t COMPREPLY < <(compgen -d -- "$cur")
      return
      ;;
    -r)
      mapfile -t COMPREPLY < <(compgen -d -- "$cur"
        compgen -f -X '!*.csv' -- "$cur"
        compgen -f -X '!*.html' -- "$cur"
        compgen -f -X '!*.htm' -- "$cur")
      return
      ;;
    -b | -q) return ;; # a number
  esac
  if [[ -z "$cur" || "$cur" == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W '-i -o -b -w -n -z -q -r -h --help --version -v' -- "$cur")
  fi
}

# filenames: folders get a '/' and no space after them, and names with blanks are quoted.
complete -o filenames -F _quarnel quarnel
