# Sourced by scripts/run and scripts/screenshots, which show the client on the same demo: they need
# $root (the checkout) set before.
#
#   build_programs TARGET...   brings the programs up to date and sets $bin to their folder
#   prepare_demo               fills $demo (a demo key container, settings pointing at a local
#                              sandbox, the four field files filled with what the sandbox knows) and
#                              starts zelvan-sandbox there on a free port ($sandbox_pid)
#   stop_sandbox               stops it again (for a trap on EXIT)

build_programs() {
  local tests_build="${ZELVAN_BUILD_DIR:-$root/build}"
  if [ -z "${ZELVAN_RUN_BUILD_DIR:-}" ] &&
    grep -qxF "CMAKE_HOME_DIRECTORY:INTERNAL=$root" "$tests_build/CMakeCache.txt" 2>/dev/null; then
    # scripts/build or scripts/test configured a build of this checkout: its programs, brought up to
    # date (nothing to do when they are), rather than a second build of everything into build-run/.
    build="$tests_build"
    cmake --build "$build" --target "$@"
  else
    build="${ZELVAN_RUN_BUILD_DIR:-$root/build-run}"
    # The programs only: no tests, benchmarks or fuzzers.
    local configure=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
                     -DZELVAN_BUILD_TESTS=OFF -DZELVAN_BUILD_BENCH=OFF -DZELVAN_BUILD_FUZZ=OFF)
    if command -v ccache >/dev/null; then
      # A clean clone in another folder still hits the cache: paths are taken relative to the clone.
      export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$root}" CCACHE_NOHASHDIR=1
      configure+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
    fi
    cmake -S "$root" -B "$build" "${configure[@]}" >/dev/null
    cmake --build "$build" --target "$@"
  fi
  bin="$build/bin"
}

stop_sandbox() {
  if [ -n "${sandbox_pid:-}" ]; then
    kill "$sandbox_pid" 2>/dev/null || true
    wait "$sandbox_pid" 2>/dev/null || true
  fi
}

prepare_demo() {
  container="Демо"
  certificate="$demo/keys/$container/certificate.cer"
  if [ ! -f "$certificate" ]; then
    "$bin/zelvan-keytool" new "$container" --subject "/CN=Демо подписант/O=Демо банк" --days 3650 \
      --data "$demo" >/dev/null
  fi

  # The sandbox trusts exactly the demo container's certificate; it prints its settings lines once
  # it listens.
  sandbox_log="$demo/sandbox.log"
  "$bin/zelvan-sandbox" --port 0 --settings-lines --trust "$certificate" >"$sandbox_log" 2>&1 &
  sandbox_pid=$!
  for _ in $(seq 100); do
    grep -q '^TimeStampServer=' "$sandbox_log" && break
    kill -0 "$sandbox_pid" 2>/dev/null || { cat "$sandbox_log" >&2; echo "zelvan-sandbox did not start" >&2; exit 1; }
    sleep 0.1
  done
  grep -q '^TimeStampServer=' "$sandbox_log" || { cat "$sandbox_log" >&2; echo "zelvan-sandbox printed no settings" >&2; exit 1; }
  mapfile -t sandbox_lines < <(grep -E '^(Service[A-Za-z]+|TimeStampServer)=' "$sandbox_log")

  bom=$'\xEF\xBB\xBF'
  # Writes a file the way the client reads it: UTF-8 with a byte-order mark, CR LF line ends; it is
  # made beside its place and moved there, so no half-written file is ever read.
  write_lines() {
    local file="$1"
    shift
    { printf '%s' "$bom"; printf '%s\r\n' "$@"; } >"$file.new"
    mv "$file.new" "$file"
  }

  # Settings: the sender of the demo, the container, time stamps from the sandbox's authority. A file
  # saved from the settings tab keeps its values; only the addresses follow the sandbox's new port.
  settings="$demo/zelvan.ini"
  if [ -f "$settings" ]; then
    # Keys are matched without regard to case; the addresses are ASCII in either code page, and the
    # other lines pass as bytes.
    LC_ALL=C sed -e "1s/^$bom//" "$settings" |
      LC_ALL=C grep -a -viE '^(ServiceChargesGISGMP|ServicePaymentGISGMP|ServiceChargesGISGKX|ServicePaymentGISGKX|TimeStampServer)=' |
      LC_ALL=C tr -d '\r' >"$settings.kept" || true
    mapfile -t kept <"$settings.kept"
    rm -f "$settings.kept"
    if [ "$(head -c 3 "$settings")" = "$bom" ]; then
      write_lines "$settings" "${sandbox_lines[@]}" "${kept[@]}"
    else
      # The client saved it in Windows-1251: the kept lines stay as they were, without a mark.
      printf '%s\r\n' "${sandbox_lines[@]}" "${kept[@]}" >"$settings.new"
      mv "$settings.new" "$settings"
    fi
  else
    write_lines "$settings" "${sandbox_lines[@]}" \
      "SystemName=MYBANK" "SMEVCode=AAAA11111" "GISGMPCode=111aa1" \
      "GISGKXCode=111a1111-1a1a-1aaa-aa11-1aa11aaa1111" \
      "SoapTestMode=1" "TimeStampEnable=1" "CryptContainer=$container"
  fi

  # The window opens on the payment tab rather than on the settings of a first start.
  [ -f "$demo/zelvan.pro" ] || write_lines "$demo/zelvan.pro" "WindowState=Maximized"

  # The four tabs, read from the current folder at start-up: charges and payment documents of
  # src/sandbox/demo-data.json. Files the operator saved over them are kept.
  today="$(date +%d.%m.%Y)"
  year="$(date +%Y)"
  [ -f "$demo/Pay.txt" ] || write_lines "$demo/Pay.txt" \
    "SupplierBillID=18810177140814735001" "Amount=623.45" "PaymentDate=$today" \
    "PayerIdentifier=1010000000000123456789643" \
    "PayeeName=УФК по г. Москве (ГУ МВД России по г. Москве)" "PayeeINN=7707089101" "PayeeKPP=770731005" \
    "PayeeBankAcc=40101810045250010041" "PayeeBankName=ГУ Банка России по ЦФО" "PayeeBankBIK=044525000" \
    "KBK=18811630020016000140" "OKTMO=45383000" "Narrative=Штраф по постановлению" \
    "PaymentBankName=ПАО Тестбанк" "PaymentBankBIK=044525225" "PaymentBankCorrAccount=30101810400000000225" \
    "ReceiptDate=$today" "AccDocNo=1" "AccDocDate=$today" "TransKind=01" "Priority=5" "ChangeStatus=1"
  [ -f "$demo/Charge.txt" ] || write_lines "$demo/Charge.txt" \
    "SearchType=2" "SupplierBillID=18810177140814735001" "PayerIdentifiers=1010000000000123456789643" \
    "ChargeKind=0"
  [ -f "$demo/DocumentDetails.txt" ] || write_lines "$demo/DocumentDetails.txt" \
    "UnifiedAccountNumber=00АА000002" "Year=2026" "Month=Февраль"
  [ -f "$demo/Order.txt" ] || write_lines "$demo/Order.txt" \
    "OrderDate=$today" "OrderNum=1" "Amount=301.00" "UnifiedAccountNumber=00АА000001" \
    "PaymentDocumentNumber=1011" "AccountNumber=ЛС-1000" "Year=$year" "Month=Январь" \
    "PaymentPurpose=Оплата жилищно-коммунальных услуг" \
    "ConsumerSurname=Петров" "ConsumerFirstName=Пётр" "ConsumerPatronymic=Петрович" \
    "FIASHouseGuid=5d8a1c2b-3e4f-4a5b-8c6d-7e8f9a0b1c20" "HouseApartment=16" \
    "RecipientINN=7701234567" "RecipientKPP=770101001" "RecipientName=ООО \"УК Дом\"" \
    "PaymentRecipientINN=7701234567" "PaymentRecipientKPP=770101001" "PaymentRecipient=ООО \"УК Дом\"" \
    "PaymentBankName=ПАО Тестбанк" "PaymentBankBIK=044525225" \
    "PaymentOperatingAccountNumber=40702810938000000001" "ChangeStatus=0"
}
