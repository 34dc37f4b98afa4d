// TypedRouteHandler: a RouteHandler around a plugin's function, with its signature read at compile
// time.
//
// Accepted shapes, each answering a HandlerResponse<R> (R may be void):
//   HandlerResponse<R> (Self::*)(Args...)            a member function of the plugin
//   HandlerResponse<R> (*)(Self&, Args...)           a free function
//   [](Self& plugin, Args...) -> HandlerResponse<R>  a lambda or other function object
// Args may begin with `const RequestInfo&` or `const RequestInfo*`; the others are the bound
// arguments in declaration order, taken by value or const reference. A `std::optional<T>`
// argument is optional: an empty value leaves it empty instead of failing as required.
#pragma once

#include "binding/native_binding.h"
#include "plugin/handler_response.h"
#include "plugin/route_handler.h"

#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

namespace tav {
namespace handler_detail {

template <typename... Ts> struct TypeList {};

template <typename R> struct ResponseOf;
template <typename T> struct ResponseOf<HandlerResponse<T>> { using Value = T; };

template <typename Self, typename R, typename... A> struct SignatureOf {
  using Plugin = Self;
  using Response = R;
  using Params = TypeList<A...>;
};

template <typename F> struct Signature;
template <typename C, typename R, typename... A>
struct Signature<R (C::*)(A...)> : SignatureOf<C, R, A...> {};
template <typename C, typename R, typename... A>
struct Signature<R (C::*)(A...) const> : SignatureOf<C, R, A...> {};
template <typename C, typename R, typename... A>
struct Signature<R (C::*)(A...) noexcept> : SignatureOf<C, R, A...> {};
template <typename C, typename R, typename... A>
struct Signature<R (C::*)(A...) const noexcept> : SignatureOf<C, R, A...> {};
template <typename S, typename R, typename... A>
struct Signature<R (*)(S&, A...)> : SignatureOf<S, R, A...> {};
template <typename S, typename R, typename... A>
struct Signature<R (*)(S&, A...) noexcept> : SignatureOf<S, R, A...> {};

// A function object's call operator names the function object as its class; the plugin is its
// first parameter.
template <typename L, typename R, typename S, typename... A>
SignatureOf<S, R, A...> objectSignature(R (L::*)(S&, A...) const);
template <typename L, typename R, typename S, typename... A>
SignatureOf<S, R, A...> objectSignature(R (L::*)(S&, A...));
template <typename L, typename R, typename S, typename... A>
SignatureOf<S, R, A...> objectSignature(R (L::*)(S&, A...) const noexcept);
template <typename L, typename R, typename S, typename... A>
SignatureOf<S, R, A...> objectSignature(R (L::*)(S&, A...) noexcept);

template <typename F> struct CallableSignature : Signature<F> {};
template <typename F>
requires requires {
  &F::operator();
}
struct CallableSignature<F> : decltype(objectSignature(&F::operator())) {};

enum class InfoForm { None, Reference, Pointer };

// Splits a leading request-info parameter off the bound arguments.
template <typename Params> struct SplitInfo {
  static constexpr InfoForm kForm = InfoForm::None;
  using Bound = Params;
};
template <typename... A> struct SplitInfo<TypeList<const RequestInfo&, A...>> {
  static constexpr InfoForm kForm = InfoForm::Reference;
  using Bound = TypeList<A...>;
};
template <typename... A> struct SplitInfo<TypeList<const RequestInfo*, A...>> {
  static constexpr InfoForm kForm = InfoForm::Pointer;
  using Bound = TypeList<A...>;
};

// How one bound argument is read and described.
template <typename T> struct ArgumentReader {
  static constexpr bool kOptional = false;
  static BindingTypeRef typeRef(const BindingTypeRegistry& registry) {
    return nativeTypeRef<T>(registry);
  }
  static void read(BindingResult& result, T& out, const BindingProperty& input,
                   std::string_view name, const BindingTypeRegistry& registry) {
    fromValue(result, out, input, name, registry);
  }
};
template <typename T> struct ArgumentReader<std::optional<T>> {
  static constexpr bool kOptional = true;
  static BindingTypeRef typeRef(const BindingTypeRegistry& registry) {
    return nativeTypeRef<T>(registry);
  }
  static void read(BindingResult& result, std::optional<T>& out, const BindingProperty& input,
                   std::string_view name, const BindingTypeRegistry& registry) {
    out.reset();
    if (input.isEmpty()) {
      return;
    }
    T value{};
    if (fromValue(result, value, input, name, registry)) {
      out = std::move(value);
    }
  }
};

template <typename Bound> struct ArgumentPack;
template <typename... A> struct ArgumentPack<TypeList<A...>> {
  using Tuple = std::tuple<std::remove_cvref_t<A>...>;
  static constexpr size_t kCount = sizeof...(A);

  // Argument slots and the return type of the function, so the API description shows them.
  static void describe(BindingFunctionDescriptor& function, const BindingTypeRegistry& registry) {
    describeAt(function, registry, std::index_sequence_for<A...>{});
  }

  template <size_t... I>
  static void describeAt(BindingFunctionDescriptor& function, const BindingTypeRegistry& registry,
                         std::index_sequence<I...>) {
    (function.setArgument(I, ArgumentReader<std::remove_cvref_t<A>>::typeRef(registry),
                          ArgumentReader<std::remove_cvref_t<A>>::kOptional),
     ...);
  }

  static void read(BindingResult& result, Tuple& pack, std::span<BindingProperty> values,
                   const BindingFunctionDescriptor* function, const BindingTypeRegistry& registry) {
    readAt(result, pack, values, function, registry, std::index_sequence_for<A...>{});
  }

  template <size_t... I>
  static void readAt(BindingResult& result, Tuple& pack, std::span<BindingProperty> values,
                     const BindingFunctionDescriptor* function, const BindingTypeRegistry& registry,
                     std::index_sequence<I...>) {
    // Left to right, so the first argument that fails names the error.
    (readOne<I>(result, pack, values, function, registry), ...);
  }

  template <size_t I>
  static void readOne(BindingResult& result, Tuple& pack, std::span<BindingProperty> values,
                      const BindingFunctionDescriptor* function,
                      const BindingTypeRegistry& registry) {
    if (!result.ok()) {
      return;
    }
    using Native = std::tuple_element_t<I, Tuple>;
    const BindingProperty& input = I < values.size() ? values[I] : BindingProperty::emptyValue();
    std::string_view name;
    if (function != nullptr && I < function->arguments.size()) {
      name = function->arguments[I].name;
    }
    ArgumentReader<Native>::read(result, std::get<I>(pack), input, name, registry);
  }
};

} // namespace handler_detail

template <typename Fn> class TypedRouteHandler final : public RouteHandler {
  using Signature = handler_detail::CallableSignature<Fn>;
  using Self = typename Signature::Plugin;
  using Response = typename Signature::Response;
  using Value = typename handler_detail::ResponseOf<Response>::Value;
  using Split = handler_detail::SplitInfo<typename Signature::Params>;
  using Pack = handler_detail::ArgumentPack<typename Split::Bound>;
  using Tuple = typename Pack::Tuple;

public:
  TypedRouteHandler(Self& plugin, const BindingTypeRegistry& registry, Fn fn)
      : plugin_(&plugin), registry_(&registry), fn_(std::move(fn)) {}

  // Writes the argument types and the return type of Fn into function.
  static void describe(BindingFunctionDescriptor& function, const BindingTypeRegistry& registry) {
    Pack::describe(function, registry);
    if constexpr (std::is_void_v<Value>) {
      function.returns = BindingTypeRef{};
    } else {
      function.returns = nativeTypeRef<Value>(registry);
    }
  }

  void* prepare(CallResult& result, std::span<BindingProperty> arguments, uint32_t) override {
    if constexpr (Pack::kCount == 0) {
      return nullptr;
    } else {
      auto pack = std::make_unique<Tuple>();
      Pack::read(result.value, *pack, arguments, function_, *registry_);
      return pack.release();
    }
  }

  void invoke(CallResult& result, const RequestInfo* info, void* token, uint32_t) override {
    if (Pack::kCount != 0 && token == nullptr) {
      // Only a pack from prepare carries the arguments; without one the function cannot run.
      result.value.setError(kInternalServerErrorMessage);
      result.status = 500;
      return;
    }
    Response response =
        call(info, static_cast<Tuple*>(token), std::make_index_sequence<Pack::kCount>{});
    fill(result, response);
  }

  void release(void* token) noexcept override { delete static_cast<Tuple*>(token); }

  const void* target() const override { return &fn_; }

  const StaticTypeId& requestInfoType() const override {
    if constexpr (Split::kForm == handler_detail::InfoForm::Reference) {
      return typeId<RequestInfo>();
    } else if constexpr (Split::kForm == handler_detail::InfoForm::Pointer) {
      return typeId<const RequestInfo*>();
    } else {
      return noPayloadTypeId();
    }
  }

private:
  template <size_t... I>
  Response call(const RequestInfo* info, Tuple* pack, std::index_sequence<I...>) {
    if constexpr (Split::kForm == handler_detail::InfoForm::Reference) {
      // The call entry builds an info whenever requestInfoType asks for one.
      static const RequestInfo kNoInfo;
      return std::invoke(fn_, *plugin_, info != nullptr ? *info : kNoInfo, std::get<I>(*pack)...);
    } else if constexpr (Split::kForm == handler_detail::InfoForm::Pointer) {
      return std::invoke(fn_, *plugin_, info, std::get<I>(*pack)...);
    } else {
      (void)info;
      (void)pack;
      return std::invoke(fn_, *plugin_, std::get<I>(*pack)...);
    }
  }

  void fill(CallResult& result, Response& response) {
    if (!response.ok) {
      result.value.setError(response.message);
    } else if constexpr (!std::is_void_v<Value>) {
      // Straight to the host's record when every converter on the way can; the value tree is
      // the general path, and the one that reports conversion failures.
      if (!result.packed.build(response.value, *registry_)) {
        BindingResult converted = toValue(response.value, *registry_);
        if (converted.ok()) {
          result.value = std::move(converted);
        } else {
          result.value.setError(converted.errorMessage());
        }
      }
    }
    result.contentFlag = response.contentFlag;
    result.bodyFormat = response.bodyFormat;
    result.status = response.status;
    result.text = std::move(response.text);
    result.headers = std::move(response.headers);
    result.stream = std::move(response.stream);
  }

  Self* plugin_;
  const BindingTypeRegistry* registry_;
  Fn fn_;
};

} // namespace tav
